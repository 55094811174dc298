// SPDX-License-Identifier: MIT
// Faults of the driver, through the real binding and real libraries: each gives one report,
// stops polling and loses no entry, and a new Start works once the fault is gone.
#include "window_harness.h"

#include "drivers/port_space.h"
#include "port/port_binding.h"
#include "run_process.h"

#include <QCheckBox>

#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <unistd.h>

using namespace drivers;
using namespace port;

namespace {

namespace fs = std::filesystem;

// The window's port goes to this binding, so that each test binds a library of its own.
PortBinding* binding = nullptr;

std::uint8_t bound_read(std::int32_t port) { return binding->read(port); }
void bound_write(std::int32_t port, std::uint8_t value) { binding->write(port, value); }

constexpr PortAccess bound_port { &bound_read, &bound_write };

class DriverFault : public testing::Test {
protected:
    ~DriverFault() override
    {
        binding = nullptr;
        unsetenv("MOVANTA_PORTSIM");
    }

    // A copy of a library in the test's folder: each load of it starts afresh.
    fs::path copied(const char* library, const char* name = "libdlportio.so") const
    {
        const fs::path copy = folder.path() / name;
        fs::copy_file(library, copy);
        return copy;
    }

    void bind(const fs::path& library)
    {
        owned = std::make_unique<PortBinding>(library.string());
        binding = owned.get();
    }

    TemporaryFolder folder;
    std::unique_ptr<PortBinding> owned;
    WindowHarness window { bound_port };
};

// The failing driver's controls, from the same loaded copy the binding uses.
struct FailingDriver {
    explicit FailingDriver(const fs::path& library)
        : handle(dlopen(library.c_str(), RTLD_NOW))
    {
        EXPECT_NE(handle, nullptr) << dlerror();
        set_input
            = reinterpret_cast<void (*)(unsigned char)>(dlsym(handle, "failing_driver_set_input"));
        fail_after
            = reinterpret_cast<void (*)(unsigned long)>(dlsym(handle, "failing_driver_fail_after"));
        heal = reinterpret_cast<void (*)()>(dlsym(handle, "failing_driver_heal"));
    }
    ~FailingDriver() { dlclose(handle); }
    FailingDriver(const FailingDriver&) = delete;
    FailingDriver& operator=(const FailingDriver&) = delete;

    void* handle;
    void (*set_input)(unsigned char) = nullptr;
    void (*fail_after)(unsigned long) = nullptr;
    void (*heal)() = nullptr;
};

// Ticks with a new input byte each time, so that each tick logs one entry.
void tick_with_new_values(WindowHarness& window, FailingDriver& driver, int ticks)
{
    static unsigned char next = 1;
    for (int i = 0; i < ticks && window.polling(); ++i) {
        driver.set_input(next);
        next = static_cast<unsigned char>(next % 250 + 1);
        window.tick();
    }
}

} // namespace

TEST_F(DriverFault, AMissingLibraryIsReportedAndAStartAfterInstallingItWorks)
{
    const fs::path library = folder.path() / "libdlportio.so";
    bind(library);
    window.clickStart();
    window.tick(3);
    ASSERT_EQ(window.reports.size(), 1u);
    EXPECT_EQ(window.reports[0].number, 53);
    EXPECT_NE(window.reports[0].text.find(library.string()), std::string::npos)
        << window.reports[0].text;
    window.expectPolling(false);
    EXPECT_TRUE(window.entries().empty());

    fs::copy_file(FAILING_DRIVER, library);
    FailingDriver driver(library);
    window.clickStart();
    tick_with_new_values(window, driver, 3);
    EXPECT_EQ(window.reports.size(), 1u);
    window.expectPolling(true);
    EXPECT_EQ(window.entries().size(), 3u);
}

TEST_F(DriverFault, AMissingEntryPointIsReportedAndPollingWithoutItWorks)
{
    // This library can read but not write; the window writes 255 first while chk_255 is ticked.
    bind(copied(TEST_DRIVER_READ_ONLY));
    window.clickStart();
    window.tick(3);
    ASSERT_EQ(window.reports.size(), 1u);
    EXPECT_EQ(window.reports[0].number, 453);
    EXPECT_NE(window.reports[0].text.find("DlPortWritePortUchar"), std::string::npos)
        << window.reports[0].text;
    window.expectPolling(false);

    window.form->chk_255->setChecked(false);
    window.clickStart();
    window.tick(3);
    EXPECT_EQ(window.reports.size(), 1u);
    window.expectPolling(true);
    EXPECT_EQ(window.form->txt_list->text(), QString::number(window.entries().size()));
}

TEST_F(DriverFault, APortThatFailsHalfWayStopsPollingKeepsTheListAndStartsAgainWhenHealed)
{
    const fs::path library = copied(FAILING_DRIVER);
    bind(library);
    FailingDriver driver(library);
    window.clickStart();
    tick_with_new_values(window, driver, 10);
    ASSERT_EQ(window.entries().size(), 10u);

    // Two calls a tick (write 255, read): two more ticks go through, the third one's read fails.
    driver.fail_after(5);
    tick_with_new_values(window, driver, 10);
    ASSERT_EQ(window.reports.size(), 1u);
    EXPECT_EQ(window.reports[0].number, 57);
    EXPECT_NE(window.reports[0].text.find("the port went away"), std::string::npos)
        << window.reports[0].text;
    window.expectPolling(false);
    const std::vector<QString> kept = window.entries();
    EXPECT_EQ(kept.size(), 12u);
    // The failed tick showed nothing: the value box and the memory hold the last good read.
    EXPECT_EQ(window.form->txt_ausgabe->text(), kept.back());
    EXPECT_EQ(QString::number(vars::last_value), kept.back());

    // Still broken: each Start gives one report more and the list stays as it is.
    window.clickStart();
    tick_with_new_values(window, driver, 3);
    EXPECT_EQ(window.reports.size(), 2u);
    window.expectPolling(false);
    EXPECT_EQ(window.entries(), kept);

    driver.heal();
    window.clickStart();
    tick_with_new_values(window, driver, 5);
    EXPECT_EQ(window.reports.size(), 2u);
    window.expectPolling(true);
    window.expectKept(kept);
    EXPECT_EQ(window.entries().size(), kept.size() + 5);
}

TEST_F(DriverFault, ALibraryFileDeletedWhileLoadedGoesOnWorking)
{
    const fs::path library = copied(FAILING_DRIVER);
    bind(library);
    FailingDriver driver(library);
    window.clickStart();
    tick_with_new_values(window, driver, 3);
    fs::remove(library);
    tick_with_new_values(window, driver, 3);
    EXPECT_TRUE(window.reports.empty());
    window.expectPolling(true);
    EXPECT_EQ(window.entries().size(), 6u);
}

// The simulator opens its port space file at the first access.
class SimulatorFault : public DriverFault {
protected:
    SimulatorFault() { bind(copied(SIMULATOR_DRIVER)); }

    void use_file(const fs::path& file) { setenv("MOVANTA_PORTSIM", file.c_str(), 1); }

    // A Start whose ticks log the value 255 - input; no report.
    void expectPollingWorks(PortSpace& space, std::uint8_t input)
    {
        const std::size_t reports = window.reports.size();
        const std::vector<QString> before = window.entries();
        space.set_input(888, input);
        if (!window.polling())
            window.clickStart();
        window.tick(2);
        EXPECT_EQ(window.reports.size(), reports) << window.reports.back().text;
        window.expectPolling(true);
        window.expectKept(before);
        EXPECT_EQ(window.entries().back(), QString::number(255 - input));
    }
};

TEST_F(SimulatorFault, AFileInAMissingFolderIsReportedAndWorksOnceTheFolderExists)
{
    const fs::path file = folder.path() / "missing" / "ports";
    use_file(file);
    window.clickStart();
    window.tick(3);
    ASSERT_EQ(window.reports.size(), 1u);
    EXPECT_EQ(window.reports[0].number, 57);
    EXPECT_NE(window.reports[0].text.find("No such file or directory"), std::string::npos)
        << window.reports[0].text;
    window.expectPolling(false);

    fs::create_directory(file.parent_path());
    PortSpace space(file);
    expectPollingWorks(space, 0x0F);
}

TEST_F(SimulatorFault, AFileOfAnotherUserIsReportedAndWorksOnceItIsGivenBack)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "giving the file to another user needs root";
    const fs::path file = folder.path() / "ports";
    use_file(file);
    PortSpace space(file);
    ASSERT_EQ(chown(file.c_str(), 65534, 65534), 0);
    window.clickStart();
    window.tick(3);
    ASSERT_EQ(window.reports.size(), 1u);
    EXPECT_NE(window.reports[0].text.find("belongs to another user"), std::string::npos)
        << window.reports[0].text;
    window.expectPolling(false);

    ASSERT_EQ(chown(file.c_str(), 0, 0), 0);
    expectPollingWorks(space, 0xF0);
}

// The simulator keeps its mapping of the file: polling goes on with the same port space, and a
// CLI started afterwards makes a new file that this run no longer sees.
TEST_F(SimulatorFault, AFileDeletedWhilePollingLosesNothing)
{
    const fs::path file = folder.path() / "ports";
    use_file(file);
    PortSpace space(file);
    expectPollingWorks(space, 0x01);
    fs::remove(file);
    expectPollingWorks(space, 0x02);
    expectPollingWorks(space, 0x03);
    EXPECT_EQ(window.entries().size(), 3u);
    EXPECT_FALSE(fs::exists(file));
}
