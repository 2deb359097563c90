#include "discovery/Discovery.h"

#include "shared/EntryPoints.h"

namespace {

// user32 exports it, but the platform's headers and import libraries do not declare it.
using MessageBoxTimeoutAFunction = int(WINAPI*)(HWND owner, LPCSTR text, LPCSTR caption, UINT style,
                                                WORD languageId, DWORD timeoutMs);

// Long enough to read the notice, short enough that nobody has to dismiss it.
constexpr DWORD NoticeTimeoutMs = 5000;
// The launcher window is normally the first of ours in z-order; the search stops far sooner.
constexpr int NoticeOwnerBudgetMs = 1000;
constexpr char NoticeCaption[] = "友情提醒";

} // namespace

void ShowTimedNotice(const char* text)
{
    HWND owner = FindProcessWindow(GetCurrentProcessId(), NoticeOwnerBudgetMs);
    auto messageBoxTimeout = BindEntryPointAs<MessageBoxTimeoutAFunction>("user32.dll", "MessageBoxTimeoutA");
    messageBoxTimeout(owner, text, NoticeCaption, MB_OK, 0, NoticeTimeoutMs);
}
