// Entry of every test program: the child modes, then a check of the test bed, then the tests.
#include "TestSupport.h"

#include <cstdio>
#include <cstring>

namespace {

// The caption points need the editor pinned at (50, 50) with 1440 x 1000 on the screen.
constexpr int MinimumScreenWidth = 1490;
constexpr int MinimumScreenHeight = 1050;

bool TestBedIsSound()
{
    const UINT codePage = GetACP();
    if (codePage != 936) {
        std::fprintf(stderr,
                     "TEST BED BROKEN: the ANSI code page is %u, not 936 (GBK). Run Wine with "
                     "LC_ALL=zh_CN.UTF-8 and the zh_CN.UTF-8 locale generated (scripts/setup.sh).\n",
                     codePage);
        return false;
    }
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    if (width < MinimumScreenWidth || height < MinimumScreenHeight) {
        std::fprintf(stderr, "TEST BED BROKEN: the screen is %d x %d, smaller than %d x %d.\n", width, height,
                     MinimumScreenWidth, MinimumScreenHeight);
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "--child") == 0)
        return RunChildMode(argv[2], argc - 3, argv + 3);
    if (!TestBedIsSound())
        return 2;
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
