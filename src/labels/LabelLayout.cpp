#include "labels/Labels.h"

namespace {

constexpr COLORREF Red = 0x000000FF;
constexpr COLORREF Black = 0x00000000;
constexpr COLORREF Blue = 0x00FF0000;

const char* const EmitterTexts[] = {
    "发射器类型", "速度", "速度变化", "重力X", "重力Y",
    "径向加速度", "径向加速度变化", "切向加速度", "切向加速度变化",
};

// The first entry is a single space: drawn like the others, it shows nothing.
const char* const RadiusTexts[] = {
    " ", "最大半径", "最大半径变化", "最小半径", "每秒旋转", "每秒旋转变化",
};

const char* const ParticleTexts[] = {
    "持续时间", "最大粒子数量", "粒子寿命", "粒子变化", "开始大小", "开始大小变化", "结束大小",
    "结束大小变化", "角度", "角度变化", "开始旋转", "开始旋转变化", "结束旋转", "结束旋转变化",
};

template <int Count>
constexpr CaptionColumn Column(const char* const (&texts)[Count], int x, int baseY, COLORREF colour)
{
    return CaptionColumn{texts, Count, x, baseY, colour};
}

void ForEachInColumn(const CaptionColumn& column, CaptionVisitor visit, void* context)
{
    for (int i = 1; i <= column.count; ++i)
        visit(Caption{column.texts[i - 1], column.x, column.baseY + ColumnPitch * i, column.colour}, context);
}

void DrawCaption(const Caption& caption, void*)
{
    DrawLabel(caption.text, caption.x, caption.y, ColorRefToD3DColor(caption.colour));
}

} // namespace

const Caption FixedLabels[FixedLabelCount] = {
    {"粒子设置", 10, 82, Red},
    {" 发射器设置", 1184, 219, Red}, // the leading space is part of the caption
    {"混合模式", 14, 897, Red},
    {"源", 14, 933, Black},
    {"被混", 14, 961, Black},
    {"正常", 223, 933, Black},
    {"添加", 223, 961, Black},
    {"位置X", 1200, 841, Black}, // these four rows are not evenly spaced in the editor
    {"变化X", 1200, 873, Black},
    {"位置Y", 1200, 909, Black},
    {"变化Y", 1200, 943, Black},
    {"开始颜色", 304, 584, Red},
    {"结束颜色", 392, 584, Red},
    {"背景颜色", 468, 584, Red},
    {"粒子贴图", 1184, 84, Red},
};

const CaptionColumn EmitterColumn = Column(EmitterTexts, 1195, 223, Black);
const CaptionColumn RadiusColumn = Column(RadiusTexts, 1081, 223, Blue);
const CaptionColumn ParticleColumn = Column(ParticleTexts, 14, 84, Black);

void ForEachCaption(CaptionVisitor visit, void* context)
{
    for (const Caption& caption : FixedLabels)
        visit(caption, context);
    ForEachInColumn(EmitterColumn, visit, context);
    ForEachInColumn(RadiusColumn, visit, context);
    ForEachInColumn(ParticleColumn, visit, context);
}

void DrawLabels()
{
    ForEachCaption(DrawCaption, nullptr);
}
