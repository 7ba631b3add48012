// Reading the message boxes that programs show in a Wine prefix: for
// box-watcher.exe, which shows wine/run.sh the launcher's boxes, and for the
// end-to-end tests' driver.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

// The text in UTF-8, as a Linux terminal shows it.
inline std::string utf8(const std::wstring& text) {
    std::string out(text.size() * 3, '\0');
    out.resize(static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                            &out[0], static_cast<int>(out.size()), nullptr, nullptr)));
    return out;
}

// What the boxes of one program showed (owner: its process id).
struct boxReader {
    DWORD owner;
    std::vector<HWND> seen;
    std::size_t answered;  // the boxes of seen whose OK was pressed
    std::wstring boxes;    // "box: TEXT\n" per box
};

// A box seen for the first time: its transcript line, with in front what
// differs from a box as the launcher shows it (caption Kestrune, one button)
// and whether it shows an icon. Its OK is left to pressOk, so that the line
// can be passed on while the box still stands.
inline BOOL CALLBACK readBox(HWND box, LPARAM context) {
    boxReader& reader = *reinterpret_cast<boxReader*>(context);
    DWORD owner = 0;
    wchar_t name[16] = {};
    GetWindowThreadProcessId(box, &owner);
    GetClassNameW(box, name, 16);
    if (owner != reader.owner || std::wcscmp(name, L"#32770") != 0 || !IsWindowVisible(box)) {
        return TRUE;
    }
    if (std::find(reader.seen.begin(), reader.seen.end(), box) != reader.seen.end()) return TRUE;
    reader.seen.push_back(box);
    std::wstring caption(512, L'\0'), text(70000, L'\0');
    caption.resize(static_cast<std::size_t>(GetWindowTextW(box, &caption[0], 512)));
    text.resize(GetDlgItemTextW(box, 0xFFFF, &text[0], 70000));
    int buttons = 0;
    for (HWND button = nullptr; (button = FindWindowExW(box, button, L"Button", nullptr)) != nullptr;) ++buttons;
    if (caption != L"Kestrune" || buttons != 1) {
        reader.boxes += L"(caption " + caption + L", " + std::to_wstring(buttons) + L" buttons) ";
    }
    // Wine's message box holds its icon, if any, in the static control 1088.
    const bool icon = SendDlgItemMessageW(box, 1088, STM_GETICON, 0, 0) != 0;
    reader.boxes += (icon ? L"box with icon: " : L"box: ") + text + L"\n";
    return TRUE;
}

// Presses OK in each box read since the last call.
inline void pressOk(boxReader& reader) {
    for (; reader.answered < reader.seen.size(); ++reader.answered) {
        PostMessageW(reader.seen[reader.answered], WM_COMMAND, IDOK, 0);
    }
}
