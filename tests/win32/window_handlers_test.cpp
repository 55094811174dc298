// SPDX-License-Identifier: MIT
// The Windows window's handlers: Start/Stop and its interval, the tick, clearing the list,
// the reports, and the list's copying and saving.
#include "win32_harness.h"

#include "win32/error_report.h"
#include "win32/resource_ids.h"
#include "core/record_time_text.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cstdio>
#include <fstream>
#include <sstream>

using namespace core;
using namespace win32;

namespace {

using win32_test::FakePort;
using win32_test::run_until;
using win32_test::text_of;
using win32_test::Window;

TEST(Win32Handlers, StartStopTakesTheIntervalOnEveryClick)
{
    struct Row {
        const wchar_t* interval;
        int expected_ms; // -1: refused with a report
        const char* report;
    };
    const Row rows[] = {
        { L"50", 50, "" },
        { L"12.5", 12, "" },
        { L"13.5", 14, "" },
        { L"50abc", 50, "" },
        { L"0", 0, "" },
        { L"abc", 0, "" },
        { L"", 0, "" },
        { L"&H10", 16, "" },
        { L"-1", -1, "Ungültiger Eigenschaftswert" },
        { L"1e10", -1, "Überlauf" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << std::string(row.interval, row.interval + wcslen(row.interval)));
        Window w;
        win32_test::set_text(w.form->txt_interval, row.interval);
        w.click(w.form->btn_start);
        if (row.expected_ms < 0) {
            ASSERT_EQ(w.reports.size(), 1U);
            EXPECT_EQ(w.reports[0], row.report);
            EXPECT_FALSE(w.form->timer1->enabled());
            EXPECT_EQ(text_of(w.form->btn_start), L"Start");
            continue;
        }
        EXPECT_TRUE(w.reports.empty());
        EXPECT_EQ(w.form->timer1->interval(), row.expected_ms);
        EXPECT_TRUE(w.form->timer1->enabled());
        EXPECT_EQ(text_of(w.form->btn_start), L"Stop");
        w.click(w.form->btn_start);
        EXPECT_FALSE(w.form->timer1->enabled());
        EXPECT_EQ(text_of(w.form->btn_start), L"Start");
    }
}

TEST(Win32Handlers, ATickShowsTheValueLightsTheLampsAndLogsChanges)
{
    struct Row {
        std::uint8_t byte;
        bool write_255;
        const wchar_t* shown;
        std::uint8_t lamps; // bit k: an(k+1) lit
    };
    const Row rows[] = {
        { 254, true, L"1", 0x01 },
        { 127, false, L"128", 0x80 },
        { 240, true, L"15", 0x0F },
        { 15, false, L"240", 0xF0 },
        { 255, true, L"0", 0x00 },
    };
    Window w;
    win32_test::set_text(w.form->txt_port, L"&H378");
    w.click(w.form->btn_start);
    std::size_t entries = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(int(row.byte));
        FakePort::value = row.byte;
        w.set_checked(row.write_255);
        const int writes = FakePort::writes;
        w.form->timer1_Timer();
        EXPECT_EQ(FakePort::writes - writes, row.write_255 ? 1 : 0);
        EXPECT_EQ(FakePort::last_port, 0x378);
        EXPECT_EQ(text_of(w.form->txt_ausgabe), row.shown);
        for (std::size_t k = 0; k < 8; ++k)
            EXPECT_EQ(w.lit(k), ((row.lamps >> k) & 1) != 0) << "an" << k + 1;
        // The first value, 1, differs from last_value 0: every row is a change.
        ++entries;
        EXPECT_EQ(w.form->list->count(), entries);
        EXPECT_EQ(text_of(w.form->txt_list), std::to_wstring(entries));
        EXPECT_EQ(w.form->list->item_text(entries - 1), row.shown);
    }
    // The same value again is no change.
    w.form->timer1_Timer();
    EXPECT_EQ(w.form->list->count(), entries);

    // Clearing empties the list and its count; the next tick counts from nothing.
    w.click(w.form->btn_list);
    EXPECT_EQ(w.form->list->count(), 0U);
    EXPECT_EQ(text_of(w.form->txt_list), L"");
    w.form->timer1_Timer();
    EXPECT_EQ(text_of(w.form->txt_list), L"0");
    EXPECT_TRUE(w.reports.empty());
}

TEST(Win32Handlers, AFailedTickStopsPollingAndReportsOnce)
{
    Window w;
    win32_test::set_text(w.form->txt_port, L"1e12");
    w.click(w.form->btn_start);
    w.form->timer1_Timer();
    ASSERT_EQ(w.reports.size(), 1U);
    EXPECT_EQ(w.reports[0], "Überlauf");
    EXPECT_FALSE(w.form->timer1->enabled());
    EXPECT_EQ(text_of(w.form->btn_start), L"Start");
    EXPECT_EQ(FakePort::reads, 0);
}

TEST(Win32Handlers, TheTimerTicksOnTheWindowsThread)
{
    Window w;
    FakePort::value = 0;
    win32_test::set_text(w.form->txt_interval, L"1");
    w.click(w.form->btn_start);
    EXPECT_TRUE(run_until(*w.form, [] { return FakePort::reads >= 20; }));
    {
        // A loop of someone else's (a menu, a dialog) gets the ticks as posted messages.
        const TickPacer::Modal menu(*w.form->timer1);
        const int before = FakePort::reads;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (FakePort::reads < before + 20 && std::chrono::steady_clock::now() < until) {
            MSG msg;
            if (GetMessageW(&msg, nullptr, 0, 0) > 0)
                DispatchMessageW(&msg);
        }
        EXPECT_GE(FakePort::reads, before + 20);
    }
    w.click(w.form->btn_start);
    const int reads = FakePort::reads;
    // A tick posted before Stop is dropped.
    run_until(*w.form, [] { return false; }, std::chrono::milliseconds(20));
    EXPECT_EQ(FakePort::reads, reads);
    EXPECT_EQ(text_of(w.form->txt_ausgabe), L"255");
}

TEST(Win32Handlers, OwnerDataListShowsMillionsWithTheTimeAsTooltip)
{
    Window w;
    constexpr std::size_t entries = 3'000'000;
    for (std::size_t i = 0; i < entries; ++i)
        w.form->list->add({ static_cast<std::uint8_t>(i % 256), 1'765'000'000'000'000 + static_cast<std::int64_t>(i) });
    w.form->list->catch_up();
    EXPECT_EQ(ListView_GetItemCount(w.form->List1), static_cast<int>(entries));
    wchar_t text[8] {};
    ListView_GetItemText(w.form->List1, 2'999'999, 0, text, 8);
    EXPECT_STREQ(text, L"191"); // 2,999,999 mod 256
    // The tooltip tells the time of the entry under the mouse: here the second row.
    RECT second {};
    ListView_GetItemRect(w.form->List1, 1, &second, LVIR_BOUNDS);
    SendMessageW(w.form->List1, WM_MOUSEMOVE, 0, MAKELPARAM(second.left + 5, second.top + 2));
    EXPECT_EQ(w.form->list->tip_row(), 1);
    NMTTDISPINFOW tip {};
    tip.hdr = { w.form->list->tooltip(), 0, TTN_GETDISPINFOW };
    SendMessageW(w.form->window, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&tip));
    const std::string time = german_time_text(1'765'000'000'000'001);
    ASSERT_NE(tip.lpszText, nullptr);
    EXPECT_EQ(std::wstring(tip.lpszText), std::wstring(time.begin(), time.end()));
    // Kopieren takes the selected entry.
    ListView_SetItemState(w.form->List1, 42, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    w.form->list_menu->copy();
    ASSERT_TRUE(OpenClipboard(w.form->window));
    const auto* copied = static_cast<const wchar_t*>(GlobalLock(GetClipboardData(CF_UNICODETEXT)));
    ASSERT_NE(copied, nullptr);
    EXPECT_STREQ(copied, L"42");
    CloseClipboard();
}

TEST(Win32Handlers, SaveWritesTheRecordOffTheWindowsThreadAndReportsAFailure)
{
    Window w;
    w.form->list->add({ 1, 1'765'000'000'000'000 });
    w.form->list->add({ 128, 1'765'000'000'100'000 });
    wchar_t folder[MAX_PATH] {};
    GetTempPathW(MAX_PATH, folder);
    const std::wstring path = std::wstring(folder) + L"movanta-save-test.txt";
    w.form->list_menu->save_to(path);
    EXPECT_TRUE(run_until(*w.form, [&] { return !w.form->list_menu->job().busy(); }));
    std::ifstream file(path.c_str());
    std::stringstream content;
    content << file.rdbuf();
    EXPECT_EQ(content.str(), "1\n128\n");
    file.close();
    DeleteFileW(path.c_str());

    w.form->list_menu->save_to(std::wstring(folder) + L"no-such-folder\\x.csv");
    EXPECT_TRUE(run_until(*w.form, [&] { return !w.reports.empty(); }));
    ASSERT_EQ(w.reports.size(), 1U);
    EXPECT_NE(w.reports[0].find("no-such-folder"), std::string::npos) << w.reports[0];
}

TEST(Win32Handlers, ALongSaveShowsItsProgressAndAbbrechenStopsIt)
{
    Window w;
    for (std::size_t i = 0; i < 20'000'000; ++i)
        w.form->list->add({ static_cast<std::uint8_t>(i), static_cast<std::int64_t>(i) * 3 });
    wchar_t folder[MAX_PATH] {};
    GetTempPathW(MAX_PATH, folder);
    const std::wstring path = std::wstring(folder) + L"movanta-cancel-test.vcd";
    DeleteFileW(path.c_str());
    RecordJob& job = w.form->list_menu->job();
    w.form->list_menu->save_to(path);
    ASSERT_TRUE(run_until(*w.form, [&] { return job.dialog() != nullptr || !job.busy(); }));
    if (!job.busy())
        GTEST_SKIP() << "the save was done before its progress dialog was due";
    EXPECT_FALSE(IsWindowEnabled(w.form->window)); // the dialog is window-modal
    wchar_t label[64] {};
    GetDlgItemTextW(job.dialog(), IDC_PROGRESS_LABEL, label, 64);
    EXPECT_STREQ(label, L"Liste wird gespeichert \u2026");
    wchar_t button[32] {};
    GetDlgItemTextW(job.dialog(), IDCANCEL, button, 32);
    EXPECT_STREQ(button, L"Abbrechen");
    SendMessageW(job.dialog(), WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(run_until(*w.form, [&] { return !job.busy(); }));
    EXPECT_EQ(job.dialog(), nullptr);
    EXPECT_TRUE(IsWindowEnabled(w.form->window));
    // A cancelled save leaves no file behind.
    EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(w.reports.empty());
}

TEST(Win32Report, BoxTextIsCutAtAThousandUnitsOrTwentyLines)
{
    struct Row {
        std::wstring text;
        std::size_t kept; // units before the "…"; the whole text when it is its length
    };
    const Row rows[] = {
        { L"Laufzeitfehler '6':\n\nÜberlauf", 29 },
        { std::wstring(1000, L'x'), 1000 },
        { std::wstring(1001, L'x'), 1000 },
        { std::wstring(30, L'\n'), 19 },
        { std::wstring(999, L'x') + L"\U0001F600", 999 },
    };
    for (const Row& row : rows) {
        const std::wstring box = report_box_text(row.text);
        if (row.kept == row.text.size()) {
            EXPECT_EQ(box, row.text);
        } else {
            EXPECT_EQ(box, row.text.substr(0, row.kept) + L'\u2026') << row.kept;
        }
    }
}

} // namespace
