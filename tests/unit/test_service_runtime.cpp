// The launch argument list a service start hands the launch, and the runtime object's ends.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "service/service_runtime.h"
#include "service/service_status.h"

struct LaunchCase {
    const wchar_t* commandLine;
    std::vector<const char*> startArguments;  // the service name first
    std::vector<std::wstring> expected;
    bool closed = true;  // false: the command line holds an unclosed quote
};

TEST(LaunchArguments, CommandLineArgumentsThenServiceNameThenStartArguments) {
    const LaunchCase cases[] = {
        {L"\"C:\\Program Files\\app\\MyService.exe\"", {"MySvc"}, {L"MySvc"}},
        {L"\"C:\\Program Files\\app\\MyService.exe\" -x 'y z'",
         {"MySvc", "a", "b c"},
         {L"-x", L"y z", L"MySvc", L"a", L"b c"}},
        {L"C:\\app\\MyService.exe  one", {"My Svc", ""}, {L"one", L"My Svc", L""}},
        {L"", {"MySvc"}, {L"MySvc"}},
        {L"C:\\app\\MyService.exe 'open", {"MySvc"}, {}, false},
    };
    for (const LaunchCase& c : cases) {
        std::vector<char*> argv;
        for (const char* argument : c.startArguments)
            argv.push_back(const_cast<char*>(argument));
        std::vector<std::wstring> arguments;
        bool closed =
            buildLaunchArguments(c.commandLine, static_cast<DWORD>(argv.size()), argv.data(), arguments);
        EXPECT_EQ(closed, c.closed) << testing::PrintToString(std::wstring(c.commandLine));
        if (closed) {
            EXPECT_EQ(arguments, c.expected) << testing::PrintToString(std::wstring(c.commandLine));
        }
    }
}

// The runtime object driven the way the control handler, the launch, the VM's hooks and the watch drive
// it, with the system calls replaced: what reaches the service manager, the event log and the process end.
namespace {

namespace svc = brolt::service;

struct Recorded {
    std::mutex lock;
    std::vector<SERVICE_STATUS> statuses;
    std::vector<svc::ServiceEvent> events;
    std::vector<std::string> shown;
    size_t statusesWhenShown = 0;
    std::vector<UINT> processEnds;
    DWORD clock = 0;
};
Recorded* recorded = nullptr;

BOOL WINAPI recordStatus(SERVICE_STATUS_HANDLE, LPSERVICE_STATUS status) {
    std::lock_guard<std::mutex> guard(recorded->lock);
    recorded->statuses.push_back(*status);
    return TRUE;
}
void recordEvent(const std::string&, const svc::ServiceEvent& event) {
    recorded->events.push_back(event);
}
DWORD WINAPI fakeClock() {
    return recorded->clock;
}
DWORD noAge() {
    return 0;
}
void recordProcessEnd(UINT code) {
    recorded->processEnds.push_back(code);
}
std::string words(const brolt::Failure& failure) {
    return failure.messageKey == 0 ? std::string() : "Message " + std::to_string(failure.messageKey) + ".";
}
void recordShown(const brolt::Failure& failure) {
    std::lock_guard<std::mutex> guard(recorded->lock);
    recorded->shown.push_back(words(failure));
    recorded->statusesWhenShown = recorded->statuses.size();
}

class ServiceRuntimeTest : public testing::Test {
  protected:
    void SetUp() override { recorded = &record; }
    void TearDown() override { recorded = nullptr; }

    std::unique_ptr<brolt::ServiceRuntime> runtime(DWORD stopTimeout = 5000, DWORD startTimeout = 0) {
        brolt::ServiceSettings settings;
        settings.serviceName = "RuntimeTest";
        settings.stopTimeout = stopTimeout;
        settings.startTimeout = startTimeout;
        settings.presentation = {words, recordShown};
        settings.ports.setStatus = recordStatus;
        settings.ports.writeEvent = recordEvent;
        settings.ports.now = fakeClock;
        settings.ports.processAge = noAge;
        settings.ports.endProcess = recordProcessEnd;
        auto made = std::make_unique<brolt::ServiceRuntime>(std::move(settings));
        made->begin(reinterpret_cast<SERVICE_STATUS_HANDLE>(1));
        return made;
    }

    // The one STOPPED report, which must be the last report.
    SERVICE_STATUS stopped() {
        size_t count = 0;
        for (const SERVICE_STATUS& status : record.statuses)
            count += status.dwCurrentState == SERVICE_STOPPED;
        EXPECT_EQ(count, 1u);
        EXPECT_FALSE(record.statuses.empty());
        return record.statuses.empty() ? SERVICE_STATUS{} : record.statuses.back();
    }

    Recorded record;
};

void reachMain(brolt::ServiceRuntime& runtime) {
    ASSERT_TRUE(runtime.reached(brolt::LaunchStep::CreatingVm));
    ASSERT_TRUE(runtime.reached(brolt::LaunchStep::VmCreated));
    ASSERT_TRUE(runtime.reached(brolt::LaunchStep::CallingMain));
}

}  // namespace

TEST_F(ServiceRuntimeTest, AStopForcedAtItsTimeoutIsReportedAsTheStopAskedFor) {
    auto service = runtime(5000);
    reachMain(*service);
    service->control(SERVICE_CONTROL_STOP);
    record.clock = 4999;
    EXPECT_EQ(service->watch(), 1u);  // the next look falls on the limit
    EXPECT_TRUE(record.processEnds.empty());
    DWORD checkpoint = service->status().dwCheckPoint;
    EXPECT_GT(checkpoint, 0u);
    record.clock = 5000;
    EXPECT_EQ(service->watch(), INFINITE);
    SERVICE_STATUS end = stopped();
    EXPECT_EQ(end.dwWin32ExitCode, 0u);
    EXPECT_EQ(end.dwServiceSpecificExitCode, svc::kStopTimedOutExitCode);
    ASSERT_EQ(record.events.size(), 1u);
    EXPECT_EQ(record.events[0].id, svc::EventId::StopTimedOut);
    EXPECT_TRUE(record.events[0].warning);
    EXPECT_EQ(record.processEnds, std::vector<UINT>{0});
    // The VM's exit right after changes nothing.
    service->vmEnded(0, false);
    EXPECT_EQ(record.statuses.back().dwServiceSpecificExitCode, svc::kStopTimedOutExitCode);
}

TEST_F(ServiceRuntimeTest, AStartPastItsLimitFailsAndNoMainRunsAfter) {
    auto service = runtime(5000, 5000);
    ASSERT_TRUE(service->reached(brolt::LaunchStep::CreatingVm));
    record.clock = 3000;
    service->watch();
    EXPECT_EQ(service->status().dwCurrentState, static_cast<DWORD>(SERVICE_START_PENDING));
    EXPECT_EQ(service->status().dwCheckPoint, 1u);
    record.clock = 5000;
    service->watch();
    SERVICE_STATUS end = stopped();
    EXPECT_EQ(end.dwWin32ExitCode, 1u);
    ASSERT_EQ(record.events.size(), 1u);
    EXPECT_EQ(record.events[0].id, svc::EventId::FailedStart);
    EXPECT_NE(record.events[0].text.find("did not start within 5 seconds"), std::string::npos)
        << record.events[0].text;
    EXPECT_EQ(record.processEnds, std::vector<UINT>{1});
    EXPECT_FALSE(service->reached(brolt::LaunchStep::CallingMain));
}

TEST_F(ServiceRuntimeTest, TheStartLimitEndsWithMain) {
    auto service = runtime(5000, 5000);
    reachMain(*service);
    record.clock = 60000;
    EXPECT_EQ(service->watch(), svc::kTickMilliseconds);
    EXPECT_TRUE(record.processEnds.empty());
    EXPECT_TRUE(record.events.empty());
}

TEST_F(ServiceRuntimeTest, AStopAndTheVmsEndMeetOnce) {
    // In either order, and raced: one STOPPED, the last report, with the codes of what came first.
    {
        auto service = runtime();
        reachMain(*service);
        service->vmEnded(7, false);
        service->control(SERVICE_CONTROL_STOP);
        SERVICE_STATUS end = stopped();
        EXPECT_EQ(end.dwWin32ExitCode, static_cast<DWORD>(ERROR_SERVICE_SPECIFIC_ERROR));
        EXPECT_EQ(end.dwServiceSpecificExitCode, 7u);
    }
    record.statuses.clear();
    {
        auto service = runtime();
        reachMain(*service);
        service->control(SERVICE_CONTROL_STOP);
        service->vmEnded(7, false);
        SERVICE_STATUS end = stopped();
        EXPECT_EQ(end.dwWin32ExitCode, 0u);
    }
    for (int round = 0; round < 50; ++round) {
        record.statuses.clear();
        auto service = runtime();
        reachMain(*service);
        std::thread stop([&] { service->control(SERVICE_CONTROL_STOP); });
        std::thread vm([&] { service->vmEnded(7, false); });
        stop.join();
        vm.join();
        SERVICE_STATUS end = stopped();
        bool stopFirst = record.statuses.size() > 2;  // the running record, then STOP_PENDING, then STOPPED
        EXPECT_EQ(end.dwWin32ExitCode, stopFirst ? 0u : static_cast<DWORD>(ERROR_SERVICE_SPECIFIC_ERROR));
        EXPECT_TRUE(record.events.empty());
    }
}

TEST_F(ServiceRuntimeTest, AVmAbortDuringARequestedStopIsRecordedButNotAFailure) {
    auto service = runtime();
    reachMain(*service);
    service->control(SERVICE_CONTROL_SHUTDOWN);
    service->vmEnded(svc::kVmAbortExitCode, true);
    SERVICE_STATUS end = stopped();
    EXPECT_EQ(end.dwWin32ExitCode, 0u);
    ASSERT_EQ(record.events.size(), 1u);
    EXPECT_EQ(record.events[0].id, svc::EventId::VmAborted);
}

TEST_F(ServiceRuntimeTest, AFirstRunStopLeavesARunningServiceWhoseEndIsNoFailedStart) {
    auto service = runtime();
    ASSERT_TRUE(service->reached(brolt::LaunchStep::CreatingVm));
    ASSERT_TRUE(service->reached(brolt::LaunchStep::VmCreated));
    ASSERT_TRUE(service->reached(brolt::LaunchStep::FirstRunEnded));
    service->vmEnded(4, false);
    SERVICE_STATUS end = stopped();
    EXPECT_EQ(end.dwWin32ExitCode, static_cast<DWORD>(ERROR_SERVICE_SPECIFIC_ERROR));
    EXPECT_EQ(end.dwServiceSpecificExitCode, 4u);
    EXPECT_TRUE(record.events.empty());
    EXPECT_TRUE(record.shown.empty());
}

TEST_F(ServiceRuntimeTest, AStopDuringTheVmsCreationEndsTheStartBeforeMain) {
    auto service = runtime();
    ASSERT_TRUE(service->reached(brolt::LaunchStep::CreatingVm));
    service->control(SERVICE_CONTROL_STOP);
    EXPECT_FALSE(service->reached(brolt::LaunchStep::CallingMain));
    service->startEnded(brolt::stopBeforeMain());
    SERVICE_STATUS end = stopped();
    EXPECT_EQ(end.dwWin32ExitCode, 0u);
    EXPECT_TRUE(record.events.empty());
    EXPECT_TRUE(record.shown.empty());
    ASSERT_TRUE(service->outcome().end.has_value());
    EXPECT_EQ(service->outcome().end->processExitCode, 0);
}

TEST_F(ServiceRuntimeTest, AFailedStartIsShownWrittenAndThenReported) {
    auto service = runtime();
    service->startEnded(brolt::failure(1016));
    SERVICE_STATUS end = stopped();
    EXPECT_EQ(end.dwWin32ExitCode, 1u);
    ASSERT_EQ(record.events.size(), 1u);
    EXPECT_EQ(record.events[0].text, "Message 1016. Exit code: 1.");
    EXPECT_EQ(record.shown, std::vector<std::string>{"Message 1016."});
    // Shown before STOPPED: the dispatcher's return may end the process right after the report.
    EXPECT_EQ(record.statusesWhenShown, record.statuses.size() - 1);
    EXPECT_EQ(service->outcome().end->processExitCode, 1);
}
