// SPDX-License-Identifier: MIT
// The main window's controls, their places and stacking, and its message dispatch.
#include "win32/form1.h"

#include "core/layout.h"
#include "win32/error_report.h"
#include "win32/resource_ids.h"

#include <commctrl.h>
#include <windowsx.h>

#include <stdexcept>
#include <string>
#include <system_error>

using namespace core;
using namespace port;
using namespace win32;

namespace {

constexpr const wchar_t* class_name = L"MovantaForm1";
// Posted by the timer's thread and by a finished save.
constexpr UINT tick_message = WM_APP + 1;
constexpr UINT job_done_message = WM_APP + 2;
constexpr UINT_PTR list_refresh_timer = 1;
constexpr UINT_PTR progress_timer = 2;

// The frame, the close box and the window menu; no minimise or maximise box, no sizing.
constexpr DWORD window_style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
constexpr DWORD child_style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
// Each focusable control is a group of its own: the arrow keys stay in it.
constexpr DWORD tab_style = child_style | WS_TABSTOP | WS_GROUP;

// The group box an inner control sits in; its place counts from the box's corner.
struct Inner {
    std::string_view name;
    std::string_view frame;
};
constexpr Inner inner_controls[] = {
    { "chk_255", "Frame6" },
    { "txt_interval", "Frame5" },
    { "txt_list", "Frame4" },
    { "txt_port", "Frame1" },
    { "txt_ausgabe", "Frame2" },
};

// The control's place in client pixels, from the layout table in twips.
RECT client_place(std::string_view name)
{
    ControlPlace place = control_place(name).value();
    for (const Inner& inner : inner_controls) {
        if (inner.name == name) {
            const ControlPlace frame = control_place(inner.frame).value();
            place.left += frame.left;
            place.top += frame.top;
        }
    }
    const int left = twips_to_pixels(place.left);
    const int top = twips_to_pixels(place.top);
    return { left, top, left + twips_to_pixels(place.width), top + twips_to_pixels(place.height) };
}

[[noreturn]] void throw_last_error(const char* what)
{
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), what);
}

void register_class(HINSTANCE instance, LRESULT(CALLBACK* procedure)(HWND, UINT, WPARAM, LPARAM))
{
    WNDCLASSEXW window_class {};
    if (GetClassInfoExW(instance, class_name, &window_class))
        return;
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = procedure;
    window_class.hInstance = instance;
    // The program's icon of packaging/movanta.rc, in the sizes the title bar and Alt+Tab use.
    window_class.hIcon = static_cast<HICON>(LoadImageW(instance, L"IDI_ICON1", IMAGE_ICON,
        GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR));
    window_class.hIconSm = static_cast<HICON>(LoadImageW(instance, L"IDI_ICON1", IMAGE_ICON,
        GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    window_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    window_class.lpszClassName = class_name;
    if (!RegisterClassExW(&window_class))
        throw_last_error("RegisterClassExW");
}

} // namespace

Form1::Form1(PortAccess port)
    : port_(port)
    , reporter_(&show_error_report)
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    INITCOMMONCONTROLSEX controls { sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES };
    InitCommonControlsEx(&controls);
    register_class(instance, &Form1::window_proc);

    RECT frame { 0, 0, twips_to_pixels(form_width_twips), twips_to_pixels(form_height_twips) };
    AdjustWindowRectEx(&frame, window_style, FALSE, 0);
    window = CreateWindowExW(0, class_name, title, window_style, CW_USEDEFAULT, CW_USEDEFAULT,
        frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance, this);
    if (window == nullptr)
        throw_last_error("CreateWindowExW");
    try {
        create_controls();
        timer1 = std::make_unique<TickPacer>(window, tick_message);
    } catch (...) {
        destroying_ = true;
        DestroyWindow(window);
        throw;
    }
    list = std::make_unique<ChangeListView>(List1, list_refresh_timer);
    run_.set_sinks({ list.get() });
    list_menu = std::make_unique<RecordMenu>(
        window, *list, *timer1, [this](const std::exception& error) { report(error, false); },
        job_done_message, progress_timer);

    // The focusable control with the lowest tab index.
    focus_ = txt_ausgabe;
    SetFocus(txt_ausgabe);

    // The window loads: the start-up work runs before it is first shown.
    Form_Load();
}

Form1::~Form1()
{
    // The save is cancelled and waited for while the window still takes its messages.
    list_menu.reset();
    menu_loop_.reset();
    move_loop_.reset();
    timer1.reset();
    if (IsWindow(window)) {
        destroying_ = true;
        DestroyWindow(window);
    }
    DeleteObject(lit_);
    DeleteObject(unlit_);
    DeleteObject(font_);
}

void Form1::create_controls()
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    // The dialog font every Windows dialog has: 8 points of "MS Shell Dlg".
    HDC screen = GetDC(nullptr);
    const int font_height = -MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(nullptr, screen);
    font_ = CreateFontW(font_height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
        L"MS Shell Dlg");
    lit_ = static_cast<HBITMAP>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDB_LAMP_LIT), IMAGE_BITMAP, 0, 0, 0));
    unlit_ = static_cast<HBITMAP>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDB_LAMP_UNLIT), IMAGE_BITMAP, 0, 0, 0));
    if (lit_ == nullptr || unlit_ == nullptr)
        throw_last_error("LoadImageW");

    const auto make = [&](const wchar_t* kind, const wchar_t* text, DWORD style, DWORD ex_style,
                          std::string_view name, int id) {
        const RECT place = client_place(name);
        HWND control = CreateWindowExW(ex_style, kind, text, style, place.left, place.top,
            place.right - place.left, place.bottom - place.top, window,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
        if (control == nullptr)
            throw_last_error("CreateWindowExW");
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        return control;
    };
    const auto text_box = [&](std::string_view name, const wchar_t* text, int id, DWORD more = 0) {
        return make(L"EDIT", text, tab_style | ES_AUTOHSCROLL | ES_LEFT | more, WS_EX_CLIENTEDGE,
            name, id);
    };
    const auto push_button = [&](std::string_view name, const wchar_t* caption, int id) {
        return make(L"BUTTON", caption, tab_style | BS_PUSHBUTTON, 0, name, id);
    };
    const auto group_box = [&](std::string_view name, const wchar_t* caption) {
        return make(L"BUTTON", caption, child_style | BS_GROUPBOX, 0, name, -1);
    };
    const auto lamp = [&](const std::string& name, HBITMAP picture) {
        // Shown at its natural size: the control is exactly as large as the picture.
        HWND control = make(L"STATIC", nullptr, child_style | SS_BITMAP, 0, name, -1);
        SendMessageW(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture));
        return control;
    };

    // Windows stacks the children in the order they are made, the first on top, and Tab
    // visits them in that order: first the focusable controls in their tab order, then each
    // on-lamp over its off-lamp, the group boxes beneath all (List1 over Frame3).
    txt_ausgabe = text_box("txt_ausgabe", L"0", IDC_TXT_AUSGABE, ES_READONLY);
    btn_start = push_button("btn_start", L"Start", IDC_BTN_START);
    btn_ende = push_button("btn_ende", L"Ende", IDC_BTN_ENDE);
    txt_port = text_box("txt_port", L"888", IDC_TXT_PORT);
    btn_list = push_button("btn_list", L"Liste leeren", IDC_BTN_LIST);
    txt_list = text_box("txt_list", L"", IDC_TXT_LIST);
    List1 = make(WC_LISTVIEWW, L"",
        tab_style | WS_VSCROLL | LVS_REPORT | LVS_OWNERDATA | LVS_NOCOLUMNHEADER | LVS_SINGLESEL
            | LVS_SHOWSELALWAYS,
        WS_EX_CLIENTEDGE, "List1", IDC_LIST1);
    txt_interval = text_box("txt_interval", L"50", IDC_TXT_INTERVAL);
    chk_255 = make(L"BUTTON", L"255 setzen", tab_style | BS_AUTOCHECKBOX, 0, "chk_255", IDC_CHK_255);
    SendMessageW(chk_255, BM_SETCHECK, BST_CHECKED, 0);
    for (std::size_t k = 0; k < 8; ++k)
        an[k] = lamp("an" + std::to_string(k + 1), lit_);
    for (std::size_t k = 0; k < 8; ++k)
        aus[k] = lamp("aus" + std::to_string(k + 1), unlit_);
    Frame1 = group_box("Frame1", L"Port");
    Frame2 = group_box("Frame2", L"Ausgabe");
    Frame3 = group_box("Frame3", L"Liste");
    Frame4 = group_box("Frame4", L"in Liste");
    Frame5 = group_box("Frame5", L"Interval");
    Frame6 = group_box("Frame6", L"Timeroptionenen");

    // One column as wide as the list, entries one per row.
    ListView_SetExtendedListViewStyle(List1, LVS_EX_FULLROWSELECT);
    RECT inside {};
    GetClientRect(List1, &inside);
    LVCOLUMNW column {};
    column.mask = LVCF_WIDTH;
    column.cx = inside.right - GetSystemMetrics(SM_CXVSCROLL);
    ListView_InsertColumn(List1, 0, &column);
}

bool Form1::pump(DWORD timeout_ms)
{
    // The timer comes first when both are there: a tick due runs before the messages, and
    // costs one wait and nothing more.
    const HANDLE timer = timer1->handle();
    const DWORD woken
        = MsgWaitForMultipleObjectsEx(1, &timer, timeout_ms, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (woken == WAIT_OBJECT_0) {
        if (timer1->take_signal())
            timer1_Timer();
        return true;
    }
    // A few messages at a time, so that a flood of them leaves the ticks their turn.
    constexpr int messages_per_turn = 16;
    MSG msg;
    for (int taken = 0; taken < messages_per_turn && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);
         ++taken) {
        if (msg.message == WM_QUIT) {
            exit_code_ = static_cast<int>(msg.wParam);
            return false;
        }
        if (!translate(msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return true;
}

bool Form1::translate(MSG& msg)
{
    if (list_menu && list_menu->job().dialog() != nullptr
        && IsDialogMessageW(list_menu->job().dialog(), &msg))
        return true;
    return IsWindow(window) && IsDialogMessageW(window, &msg);
}

LRESULT CALLBACK Form1::window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* form = reinterpret_cast<Form1*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (form == nullptr || form->window != hwnd)
        return DefWindowProcW(hwnd, message, wparam, lparam);
    // No exception leaves for Windows: what a handler let through is reported here.
    try {
        return form->handle(message, wparam, lparam);
    } catch (const std::exception& error) {
        form->report(error);
    } catch (...) {
        form->report(std::runtime_error("Unbekannter Fehler"));
    }
    return 0;
}

LRESULT Form1::handle(UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case tick_message:
        if (timer1 && timer1->take_tick(wparam))
            timer1_Timer();
        return 0;
    case job_done_message:
        if (list_menu)
            list_menu->job().end();
        return 0;
    case WM_TIMER:
        if (wparam == list_refresh_timer && list)
            list->catch_up();
        else if (wparam == progress_timer && list_menu)
            list_menu->job().show_progress();
        return 0;
    case WM_COMMAND:
        on_command(LOWORD(wparam), HIWORD(wparam));
        return 0;
    case WM_NOTIFY:
        return on_notify(*reinterpret_cast<const NMHDR*>(lparam));
    case WM_CONTEXTMENU:
        if (reinterpret_cast<HWND>(wparam) == List1 && list_menu) {
            list_menu->show({ GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam) });
            return 0;
        }
        break;
    case WM_ENTERMENULOOP:
        if (!menu_loop_ && timer1)
            menu_loop_ = std::make_unique<TickPacer::Modal>(*timer1);
        return 0;
    case WM_EXITMENULOOP:
        menu_loop_.reset();
        return 0;
    case WM_ENTERSIZEMOVE:
        if (!move_loop_ && timer1)
            move_loop_ = std::make_unique<TickPacer::Modal>(*timer1);
        return 0;
    case WM_EXITSIZEMOVE:
        move_loop_.reset();
        return 0;
    case WM_ACTIVATE:
        // As a dialog does: the focus leaves with the window and comes back to the same control.
        if (LOWORD(wparam) == WA_INACTIVE) {
            if (HWND focus = GetFocus(); focus != nullptr && IsChild(window, focus))
                focus_ = focus;
        } else if (focus_ != nullptr && HIWORD(wparam) == 0) {
            SetFocus(focus_);
        }
        return 0;
    case WM_DESTROY:
        if (timer1)
            timer1->set_enabled(false);
        if (!destroying_)
            PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

void Form1::on_command(WORD id, WORD code)
{
    // Enter and Escape come as IDOK and IDCANCEL: the window has no default or cancel button.
    if (code != BN_CLICKED)
        return;
    switch (id) {
    case IDC_BTN_START:
        btn_start_Click();
        break;
    case IDC_BTN_LIST:
        btn_list_Click();
        break;
    case IDC_BTN_ENDE:
        btn_ende_Click();
        break;
    default:
        break;
    }
}

LRESULT Form1::on_notify(const NMHDR& header)
{
    if (!list)
        return 0;
    if (header.hwndFrom != List1) {
        list->on_notify(header); // the tooltip's
        return 0;
    }
    if (header.code == LVN_KEYDOWN) {
        const auto& key = reinterpret_cast<const NMLVKEYDOWN&>(header);
        if (list_menu)
            list_menu->on_key(key.wVKey);
        return 0;
    }
    list->on_notify(header);
    return 0;
}
