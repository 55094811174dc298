// SPDX-License-Identifier: MIT
// Copying and saving the change list from its context menu.
#include "win32/record_menu.h"

#include "core/record_save.h"
#include "core/record_writer.h"
#include "wide_text.h"
#include "win32/change_list_view.h"
#include "win32/resource_ids.h"

#include <commdlg.h>
#include <shlobj.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <cwchar>
#include <memory>
#include <optional>

using namespace core;

namespace win32 {

namespace {

struct Filter {
    const wchar_t* name;
    const wchar_t* pattern;
    RecordFormat format;
};

// The save dialog's filters, in its order.
constexpr std::array<Filter, 3> filters { {
    { L"CSV (*.csv)", L"*.csv", RecordFormat::Csv },
    { L"VCD (*.vcd)", L"*.vcd", RecordFormat::Vcd },
    { L"Text (*.txt)", L"*.txt", RecordFormat::Plain },
} };

void put_on_clipboard(HWND owner, const std::wstring& text)
{
    if (!OpenClipboard(owner))
        return;
    EmptyClipboard();
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
        if (void* at = GlobalLock(memory)) {
            std::memcpy(at, text.c_str(), bytes);
            GlobalUnlock(memory);
            if (SetClipboardData(CF_UNICODETEXT, memory) == nullptr)
                GlobalFree(memory);
        } else {
            GlobalFree(memory);
        }
    }
    CloseClipboard();
}

} // namespace

RecordMenu::RecordMenu(HWND window, ChangeListView& list, TickPacer& pacer, Report report,
    UINT done_message, UINT_PTR progress_timer)
    : window_(window)
    , list_(list)
    , pacer_(pacer)
    , report_(std::move(report))
    , job_(window, done_message, progress_timer)
{
}

void RecordMenu::show(POINT screen)
{
    if (screen.x == -1 && screen.y == -1) {
        RECT place {};
        const std::ptrdiff_t row = list_.current_row();
        if (row < 0 || !ListView_GetItemRect(list_.hwnd(), static_cast<int>(row), &place, LVIR_BOUNDS))
            GetClientRect(list_.hwnd(), &place);
        screen = { place.left, place.bottom };
        ClientToScreen(list_.hwnd(), &screen);
    }
    HMENU menu = CreatePopupMenu();
    if (menu == nullptr)
        return;
    const UINT copy_state = list_.current_row() >= 0 ? MF_ENABLED : MF_GRAYED;
    AppendMenuW(menu, MF_STRING | copy_state, IDM_COPY, L"Kopieren\tStrg+C");
    AppendMenuW(menu, MF_STRING, IDM_COPY_ALL, L"Alles kopieren");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, IDM_SAVE_AS, L"Speichern unter\u2026\tStrg+S");
    UINT chosen = 0;
    {
        const TickPacer::Modal menu_loop(pacer_);
        chosen = static_cast<UINT>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY,
            screen.x, screen.y, 0, window_, nullptr));
    }
    DestroyMenu(menu);
    if (chosen == IDM_COPY)
        copy();
    else if (chosen == IDM_COPY_ALL)
        copy_all();
    else if (chosen == IDM_SAVE_AS)
        save_as();
}

bool RecordMenu::on_key(WORD key)
{
    if ((GetKeyState(VK_CONTROL) & 0x8000) == 0)
        return false;
    if (key == 'C') {
        copy();
        return true;
    }
    if (key == 'S') {
        save_as();
        return true;
    }
    return false;
}

void RecordMenu::copy()
{
    const std::ptrdiff_t row = list_.current_row();
    if (row >= 0)
        put_on_clipboard(window_, list_.item_text(static_cast<std::size_t>(row)));
}

void RecordMenu::copy_all()
{
    const RecordSnapshot snapshot = list_.record().snapshot();
    auto csv = std::make_shared<std::wstring>();
    job_.start(
        L"Liste wird kopiert \u2026", snapshot.size(),
        [snapshot, csv](const KeepGoing& keep_going) {
            const std::optional<std::string> text = record_csv_text(snapshot, keep_going);
            if (!text)
                return false;
            // Made here, not on the window's thread: 10 M entries are 600 MB of text.
            *csv = widen(*text);
            return true;
        },
        [this, csv](std::exception_ptr failure, bool finished) {
            if (failure)
                report_failure(failure);
            else if (finished)
                put_on_clipboard(window_, *csv);
        });
}

void RecordMenu::save_as()
{
    if (job_.busy())
        return;
    std::wstring filter_text;
    for (const Filter& filter : filters) {
        filter_text += filter.name;
        filter_text += L'\0';
        filter_text += filter.pattern;
        filter_text += L'\0';
    }
    const std::wstring proposed = proposed_file_name();
    const std::size_t slash = proposed.find_last_of(L'\\');
    const std::wstring folder = slash == std::wstring::npos ? L"" : proposed.substr(0, slash);
    std::array<wchar_t, 32768> file {};
    proposed.copy(file.data(), std::min(proposed.size() - (slash + 1), file.size() - 1), slash + 1);

    OPENFILENAMEW dialog {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = window_;
    dialog.lpstrFilter = filter_text.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    dialog.lpstrTitle = L"Speichern unter";
    // Without an extension of the user's the one of the chosen filter is added.
    dialog.lpstrDefExt = L"csv";
    dialog.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY
        | OFN_NOCHANGEDIR;
    {
        const TickPacer::Modal dialog_loop(pacer_);
        if (!GetSaveFileNameW(&dialog))
            return;
    }
    save_to(file.data(), static_cast<int>(dialog.nFilterIndex) - 1);
}

void RecordMenu::save_to(const std::wstring& path, int filter_index)
{
    const std::string file = narrow(path); // UTF-8, as the core takes it on Windows
    const RecordFormat format = record_format_for_file(file).value_or(
        filters[static_cast<std::size_t>(std::clamp(filter_index, 0, 2))].format);
    const RecordSnapshot snapshot = list_.record().snapshot();
    job_.start(
        L"Liste wird gespeichert \u2026", snapshot.size(),
        [snapshot, format, file](const KeepGoing& keep_going) {
            return save_record(snapshot, format, file, keep_going);
        },
        [this](std::exception_ptr failure, bool) {
            if (failure)
                report_failure(failure);
        });
}

std::wstring RecordMenu::proposed_file_name()
{
    wchar_t folder[MAX_PATH] {};
    // A profile without a documents folder: the user's own folder instead.
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, folder))
        || GetFileAttributesW(folder) == INVALID_FILE_ATTRIBUTES)
        SHGetFolderPathW(nullptr, CSIDL_PROFILE, nullptr, SHGFP_TYPE_CURRENT, folder);
    SYSTEMTIME now {};
    GetLocalTime(&now);
    wchar_t name[40];
    std::swprintf(name, std::size(name), L"movanta-%04u%02u%02u-%02u%02u%02u.csv", now.wYear,
        now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
    std::wstring path = folder;
    if (!path.empty() && path.back() != L'\\')
        path += L'\\';
    return path + name;
}

void RecordMenu::report_failure(std::exception_ptr failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& error) {
        report_(error);
    }
}

} // namespace win32
