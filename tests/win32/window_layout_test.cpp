// SPDX-License-Identifier: MIT
// The Windows window as it opens: title, frame, captions, default texts, places, stacking
// and tab order.
#include "win32_harness.h"

#include "core/layout.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <string_view>

using namespace core;

namespace {

using win32_test::text_of;
using win32_test::Window;

RECT place_in_client(HWND control)
{
    RECT place {};
    GetWindowRect(control, &place);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&place), 2);
    return place;
}

TEST(Win32Window, FrameHasTheTitleAFixedClientAreaAndNoMinimiseOrMaximiseBox)
{
    const Window w;
    EXPECT_EQ(text_of(w.form->window), L"Movanta - Quendel - BETA");
    RECT client {};
    GetClientRect(w.form->window, &client);
    EXPECT_EQ(client.right, 225);
    EXPECT_EQ(client.bottom, 235);
    const LONG_PTR style = GetWindowLongPtrW(w.form->window, GWL_STYLE);
    EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0);
    EXPECT_NE(style & WS_SYSMENU, 0);
    EXPECT_NE(SendMessageW(w.form->window, WM_GETICON, ICON_SMALL, 0)
            | GetClassLongPtrW(w.form->window, GCLP_HICONSM),
        0);
}

TEST(Win32Window, EveryControlHasItsCaptionTextAndPlace)
{
    const Window w;
    const Form1& f = *w.form;
    struct Row {
        HWND control;
        std::string_view name;
        std::string_view frame; // the group box the place counts from, or none
        const wchar_t* text;
    };
    const Row rows[] = {
        { f.Frame1, "Frame1", "", L"Port" },
        { f.Frame2, "Frame2", "", L"Ausgabe" },
        { f.Frame3, "Frame3", "", L"Liste" },
        { f.Frame4, "Frame4", "", L"in Liste" },
        { f.Frame5, "Frame5", "", L"Interval" },
        { f.Frame6, "Frame6", "", L"Timeroptionenen" },
        { f.txt_port, "txt_port", "Frame1", L"888" },
        { f.txt_ausgabe, "txt_ausgabe", "Frame2", L"0" },
        { f.txt_list, "txt_list", "Frame4", L"" },
        { f.txt_interval, "txt_interval", "Frame5", L"50" },
        { f.chk_255, "chk_255", "Frame6", L"255 setzen" },
        { f.List1, "List1", "", L"" },
        { f.btn_start, "btn_start", "", L"Start" },
        { f.btn_list, "btn_list", "", L"Liste leeren" },
        { f.btn_ende, "btn_ende", "", L"Ende" },
        { f.an[0], "an1", "", L"" },
        { f.aus[0], "aus1", "", L"" },
        { f.an[4], "an5", "", L"" },
        { f.aus[3], "aus4", "", L"" },
        { f.an[7], "an8", "", L"" },
        { f.aus[7], "aus8", "", L"" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.name));
        EXPECT_EQ(text_of(row.control), row.text);
        ControlPlace place = control_place(row.name).value();
        if (!row.frame.empty()) {
            place.left += control_place(row.frame)->left;
            place.top += control_place(row.frame)->top;
        }
        const RECT shown = place_in_client(row.control);
        EXPECT_EQ(shown.left, twips_to_pixels(place.left));
        EXPECT_EQ(shown.top, twips_to_pixels(place.top));
        EXPECT_EQ(shown.right - shown.left, twips_to_pixels(place.width));
        EXPECT_EQ(shown.bottom - shown.top, twips_to_pixels(place.height));
    }
    EXPECT_EQ(SendMessageW(f.chk_255, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_NE(GetWindowLongPtrW(f.txt_ausgabe, GWL_STYLE) & ES_READONLY, 0);
    EXPECT_NE(GetWindowLongPtrW(f.List1, GWL_STYLE) & LVS_OWNERDATA, 0);
}

TEST(Win32Window, StartUpHidesTheOnLampsAndEachLiesOverItsOffLamp)
{
    const Window w;
    for (std::size_t k = 0; k < 8; ++k) {
        EXPECT_FALSE(w.lit(k)) << "an" << k + 1;
        EXPECT_NE(GetWindowLongPtrW(w.form->aus[k], GWL_STYLE) & WS_VISIBLE, 0);
        // Earlier in the z-order lies on top.
        bool above = false;
        for (HWND below = GetWindow(w.form->an[k], GW_HWNDNEXT); below != nullptr;
             below = GetWindow(below, GW_HWNDNEXT))
            above = above || below == w.form->aus[k];
        EXPECT_TRUE(above) << "an" << k + 1;
    }
    bool list_above_frame = false;
    for (HWND below = GetWindow(w.form->List1, GW_HWNDNEXT); below != nullptr;
         below = GetWindow(below, GW_HWNDNEXT))
        list_above_frame = list_above_frame || below == w.form->Frame3;
    EXPECT_TRUE(list_above_frame);
}

TEST(Win32Window, TabVisitsTheControlsInTheirOrderAndComesBack)
{
    const Window w;
    const Form1& f = *w.form;
    EXPECT_EQ(GetFocus(), f.txt_ausgabe);
    const HWND order[] = { f.txt_ausgabe, f.btn_start, f.btn_ende, f.txt_port, f.btn_list,
        f.txt_list, f.List1, f.txt_interval, f.chk_255, f.txt_ausgabe };
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        EXPECT_EQ(GetNextDlgTabItem(f.window, order[i], FALSE), order[i + 1]) << "after " << i;
    EXPECT_EQ(GetNextDlgTabItem(f.window, f.txt_ausgabe, TRUE), f.chk_255);
}

TEST(Win32Window, EnterAndEscapeClickNoButton)
{
    Window w;
    SetFocus(w.form->btn_start);
    for (const WPARAM key : { VK_RETURN, VK_ESCAPE }) {
        MSG msg { w.form->btn_start, WM_KEYDOWN, key, 0, 0, {} };
        if (!w.form->translate(msg))
            DispatchMessageW(&msg);
    }
    EXPECT_EQ(text_of(w.form->btn_start), L"Start");
    EXPECT_FALSE(w.form->timer1->enabled());
}

} // namespace
