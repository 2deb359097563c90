// The device and the caption font on the overlay: what a frame without captions presents, how
// the font is asked for, what happens without a device, and the end when a library is missing.
#include "OverlayTestSupport.h"

#include <d3dx9core.h>

#include <atomic>

namespace {

constexpr int OverlayWidth = 1440;
constexpr int OverlayHeight = 1000;
constexpr DWORD FrameDeadlineMs = 10000;
// Many frame intervals: long enough to see a frame that should not come.
constexpr DWORD NoFrameSettleMs = 300;

// --- a frame that draws nothing --------------------------------------------------------------
//
// The device is made without D3DCREATE_MULTITHREADED and the render thread is its one user, so
// the back buffer is read on that thread, from inside the frame routine. A routine that draws
// nothing and only reads leaves the buffer as the loop prepared it: the read-back is exactly
// what that frame presents. The frames before it paint the whole buffer opaque, as frames full
// of captions would, as many as a swap chain may rotate buffers through: where a driver keeps a
// buffer's content across Present, a loop that did not clear every frame would show one of them.
// (Wine discards the content, so here a wrong clear colour is what this catches.)
constexpr int OpaqueFrames = 3;

struct EmptyFrameProbe {
    std::atomic<int> frames{0};
    std::atomic<bool> done{false};
    BackBufferContents contents;
};
EmptyFrameProbe EmptyFrame;

void PaintOpaqueThenReadEmptyFrame()
{
    const int frame = ++EmptyFrame.frames;
    if (frame <= OpaqueFrames) {
        OverlayDevice->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_ARGB(255, 255, 255, 255), 1.0f, 0);
    } else if (frame == OpaqueFrames + 1) {
        EmptyFrame.contents = ReadBackBuffer(OverlayDevice);
        EmptyFrame.done = true;
    }
}

class EmptyFrameTest : public OverlayFixture {};

TEST_F(EmptyFrameTest, IsPresentedFullyTransparent)
{
    EmptyFrame.frames = 0;
    EmptyFrame.done = false;
    ASSERT_NE(nullptr, BringUp(OverlayWidth, OverlayHeight, PaintOpaqueThenReadEmptyFrame));
    ASSERT_TRUE(WaitUntil([] { return EmptyFrame.done.load(); }, FrameDeadlineMs)) << "no empty frame";
    StopRenderThread();

    const BackBufferContents& contents = EmptyFrame.contents;
    ASSERT_EQ(Hex(S_OK), Hex(contents.result)) << "read-back failed";
    EXPECT_EQ(static_cast<UINT>(OverlayWidth), contents.desc.Width);
    EXPECT_EQ(static_cast<UINT>(OverlayHeight), contents.desc.Height);
    EXPECT_EQ(D3DFMT_A8R8G8B8, contents.desc.Format);
    EXPECT_EQ(static_cast<long>(OverlayWidth) * OverlayHeight, contents.pixels);
    EXPECT_EQ(0, contents.opaquePixels) << "pixels with alpha";
}

// --- the caption font ------------------------------------------------------------------------

struct FontRequest {
    int calls = 0;
    IDirect3DDevice9* device = nullptr;
    INT height = -1;
    UINT width = 99, weight = 99, mipLevels = 99;
    BOOL italic = -1;
    DWORD charSet = 99, outputPrecision = 99, quality = 99, pitchAndFamily = 99;
    std::string faceName;
    ID3DXFont** place = nullptr;
    HRESULT result = E_FAIL;
};
FontRequest RecordedFont;

// Notes the request and passes it on, so the overlay still gets a real font.
HRESULT WINAPI RecordCreateFont(IDirect3DDevice9* device, INT height, UINT width, UINT weight, UINT mipLevels,
                                BOOL italic, DWORD charSet, DWORD outputPrecision, DWORD quality,
                                DWORD pitchAndFamily, LPCSTR faceName, ID3DXFont** font)
{
    FontRequest& request = RecordedFont;
    ++request.calls;
    request.device = device;
    request.height = height;
    request.width = width;
    request.weight = weight;
    request.mipLevels = mipLevels;
    request.italic = italic;
    request.charSet = charSet;
    request.outputPrecision = outputPrecision;
    request.quality = quality;
    request.pitchAndFamily = pitchAndFamily;
    request.faceName = faceName ? faceName : "(null)";
    request.place = font;
    using Function = decltype(&RecordCreateFont);
    const auto real = reinterpret_cast<Function>(
        reinterpret_cast<void (*)()>(RealEntryPoint("d3dx9_43.dll", "D3DXCreateFontA")));
    request.result = real(device, height, width, weight, mipLevels, italic, charSet, outputPrecision, quality,
                          pitchAndFamily, faceName, font);
    return request.result;
}

class LabelFontTest : public OverlayFixture {};

TEST_F(LabelFontTest, IsAskedForWithTheTenValuesInOrder)
{
    ScopedEntryPoint recorder("d3dx9_43.dll", "D3DXCreateFontA", AsEntryPoint(RecordCreateFont));
    RecordedFont = FontRequest{};
    // No frame routine: the thread sets its states and ends, and the device stays with the test.
    IDirect3DDevice9* device = BringUp(OverlayWidth, OverlayHeight, nullptr);
    ASSERT_NE(nullptr, device);

    const FontRequest& request = RecordedFont;
    ASSERT_EQ(1, request.calls);
    EXPECT_EQ(device, request.device);
    EXPECT_EQ(13, request.height);
    EXPECT_EQ(0u, request.width);
    EXPECT_EQ(9u, request.weight);
    EXPECT_EQ(0u, request.mipLevels);
    EXPECT_EQ(FALSE, request.italic);
    EXPECT_EQ(5u, request.charSet);
    EXPECT_EQ(0u, request.outputPrecision);
    EXPECT_EQ(4u, request.quality);
    EXPECT_EQ(0u, request.pitchAndFamily);
    EXPECT_EQ("Verdana", request.faceName);
    EXPECT_EQ(&LabelFont, request.place);
    EXPECT_EQ(Hex(S_OK), Hex(request.result));
    EXPECT_NE(nullptr, LabelFont);
}

HRESULT WINAPI FailToCreateFont(IDirect3DDevice9*, INT, UINT, UINT, UINT, BOOL, DWORD, DWORD, DWORD, DWORD, LPCSTR,
                                ID3DXFont**)
{
    ++RecordedFont.calls;
    return E_OUTOFMEMORY; // and leaves the place untouched
}

void CountEmptyFrame()
{
    ++EmptyFrame.frames;
}

TEST_F(LabelFontTest, WithoutAFontTheOverlayRunsAllTheSame)
{
    ScopedEntryPoint failure("d3dx9_43.dll", "D3DXCreateFontA", AsEntryPoint(FailToCreateFont));
    RecordedFont = FontRequest{};
    EmptyFrame.frames = 0;

    EXPECT_NE(nullptr, BringUp(OverlayWidth, OverlayHeight, CountEmptyFrame));
    EXPECT_EQ(1, RecordedFont.calls);
    EXPECT_EQ(nullptr, LabelFont) << "caption drawing would call through a font that is not there";
    EXPECT_TRUE(WaitUntil([] { return EmptyFrame.frames >= 3; }, FrameDeadlineMs)) << "no frames";
}

// --- no device -------------------------------------------------------------------------------

IDirect3D9* WINAPI YieldNoDirect3D(UINT)
{
    return nullptr;
}

// When on, refuses the creation of every overlay window of this thread while it lives.
class OverlayWindowRefusal {
public:
    explicit OverlayWindowRefusal(bool on)
    {
        if (on)
            hook_ = SetWindowsHookExA(WH_CBT, Refuse, nullptr, GetCurrentThreadId());
    }
    ~OverlayWindowRefusal()
    {
        if (hook_)
            UnhookWindowsHookEx(hook_);
    }
    OverlayWindowRefusal(const OverlayWindowRefusal&) = delete;
    OverlayWindowRefusal& operator=(const OverlayWindowRefusal&) = delete;

private:
    static LRESULT CALLBACK Refuse(int code, WPARAM wParam, LPARAM lParam)
    {
        if (code == HCBT_CREATEWND && ClassNameOf(reinterpret_cast<HWND>(wParam)) == "VEILUP")
            return 1;
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    HHOOK hook_ = nullptr;
};

class NoDeviceTest : public OverlayFixture {};

TEST_F(NoDeviceTest, LeavesNoDeviceNoFontAndNoThread)
{
    enum class Cause { NoDirect3DObject, NoWindowForTheDevice };
    struct Row {
        const char* name;
        Cause cause;
    };
    const HWND unwritten = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x5EED));

    for (const Row row : {Row{"Direct3DCreate9 yields nothing", Cause::NoDirect3DObject},
                          Row{"CreateDevice fails on a window that could not be made", Cause::NoWindowForTheDevice}}) {
        SCOPED_TRACE(row.name);
        ScopedEntryPoint fontRecorder("d3dx9_43.dll", "D3DXCreateFontA", AsEntryPoint(RecordCreateFont));
        ScopedEntryPoint noDirect3D("d3d9.dll", "Direct3DCreate9",
                                    row.cause == Cause::NoDirect3DObject ? AsEntryPoint(YieldNoDirect3D)
                                                                         : RealEntryPoint("d3d9.dll", "Direct3DCreate9"));
        OverlayWindowRefusal refusal(row.cause == Cause::NoWindowForTheDevice);
        RecordedFont = FontRequest{};
        EmptyFrame.frames = 0;

        HWND window = unwritten;
        IDirect3DDevice9* device = CreateOverlay(OverlayWidth, OverlayHeight, PaintOpaqueThenReadEmptyFrame, &window);
        windows_.push_back(window == unwritten ? nullptr : window);

        EXPECT_EQ(nullptr, device);
        EXPECT_EQ(nullptr, OverlayDevice);
        EXPECT_EQ(nullptr, LabelFont);
        EXPECT_EQ(0, RecordedFont.calls) << "a font was asked for";
        EXPECT_FALSE(RenderThreadRunning());
        // A render thread would have framed by now; it gets no chance to prove anything later.
        ServeMessagesFor(NoFrameSettleMs);
        EXPECT_EQ(0, EmptyFrame.frames.load()) << "frames were drawn";
        ASSERT_NE(unwritten, window) << "the window handle was not written";
        if (row.cause == Cause::NoWindowForTheDevice) {
            EXPECT_EQ(nullptr, window);
        } else {
            EXPECT_TRUE(IsWindowVisible(window)) << "the window does not stay up";
            EXPECT_EQ("VEILUP", ClassNameOf(window));
        }
    }
}

// --- a missing library ------------------------------------------------------------------------

// Brings an overlay up in a process where one library is kept from loading; returns only when
// nothing was missing.
CHILD_MODE(overlay_without_library)
{
    constexpr int NoDeviceExitCode = 4; // the font step, and D3DX with it, was never reached
    return CreateOverlay(320, 240, nullptr, &OverlayWindow) ? 0 : NoDeviceExitCode;
}

// Keeps a library from loading into every program of one file name while it lives, through
// Wine's load order for that program ("" = neither built-in nor native), as on a machine without
// it. The order cannot be given to the child through its environment: Wine passes its own
// variables (WINEDLLOVERRIDES among them) to a child from the Unix environment only and ignores
// those of the Windows environment that CreateProcess hands on.
class WithheldLibrary {
public:
    WithheldLibrary(const std::string& programName, const char* module)
        : key_("Software\\Wine\\AppDefaults\\" + programName)
    {
        HKEY overrides = nullptr;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, (key_ + "\\DllOverrides").c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                            nullptr, &overrides, nullptr) == ERROR_SUCCESS) {
            set_ = RegSetValueExA(overrides, module, 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1) == ERROR_SUCCESS;
            RegCloseKey(overrides);
        }
    }
    ~WithheldLibrary() { RegDeleteTreeA(HKEY_CURRENT_USER, key_.c_str()); }
    WithheldLibrary(const WithheldLibrary&) = delete;
    WithheldLibrary& operator=(const WithheldLibrary&) = delete;
    bool Set() const { return set_; }

private:
    std::string key_;
    bool set_ = false;
};

TEST(MissingLibrary, IsNamedInAFatalMessageAndEndsTheProcessAfterOk)
{
    struct Row {
        const char* module; // as the load order names it
        const char* library;
        const char* entryPoint;
    };
    for (const Row row : {Row{"d3dx9_43", "d3dx9_43.dll", "D3DXCreateFontA"},
                          Row{"d3d9", "d3d9.dll", "Direct3DCreate9"},
                          Row{"dwmapi", "dwmapi.dll", "DwmExtendFrameIntoClientArea"}}) {
        SCOPED_TRACE(row.library);
        // A copy of this program under a name of its own, so nothing else loses the library.
        ScratchFolder folder("missing library");
        const std::string programName = std::string("overlay_without_") + row.module + ".exe";
        ASSERT_TRUE(folder.CopyIn(ThisProgramPath(), programName));
        WithheldLibrary withheld(programName, row.module);
        ASSERT_TRUE(withheld.Set());
        ChildProcess child = ChildProcess::Start(folder.File(programName), "--child overlay_without_library");
        ASSERT_TRUE(child.Started());

        HWND box = nullptr;
        WaitUntil([&] { return (box = MessageBoxOf(child.Id())) != nullptr || !child.Running(); },
                  ProcessStartDeadlineMs);
        DWORD exitCode = 0;
        ASSERT_NE(nullptr, box) << "no message; the child "
                                << (child.WaitForExit(0, &exitCode) ? "ended with " + std::to_string(exitCode)
                                                                    : std::string("still runs"));
        const std::string text = MessageBoxText(box);
        EXPECT_NE(std::string::npos, text.find(row.library)) << text;
        EXPECT_NE(std::string::npos, text.find(row.entryPoint)) << text;
        EXPECT_TRUE(child.Running()) << "ended before the message was answered";

        ASSERT_TRUE(PressMessageBoxButton(box, IDOK)) << "the message has no OK button";
        ASSERT_TRUE(child.WaitForExit(ProcessExitDeadlineMs, &exitCode)) << "still runs after OK";
        EXPECT_EQ(MissingEntryPointExitCode, exitCode);
    }
}

} // namespace
