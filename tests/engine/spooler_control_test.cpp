#include "engine/spooler_control.h"

#include <gtest/gtest.h>

#include <vector>

#include "host/clock.h"
#include "host/machine.h"
#include "host/services.h"
#include "support/cases.h"

namespace {

using host::services::Phase;
using Waits = std::vector<DWORD>;

const wchar_t kSpooler[] = L"Spooler";

Waits Sleeps() { return host::clock::WaitsOf("Sleep"); }

// A pending phase that lasts `ms`, then the settled state.
std::vector<Phase> Pending(DWORD state, DWORD waitHint, DWORD ms, DWORD settled) {
  return {Phase{state, 1, waitHint, ms}, Phase{settled}};
}

TEST(StopSpooler, PollsATenthOfTheWaitHintWithinOneAndTenSeconds) {
  struct Case {
    DWORD waitHint;
    DWORD pendingMs;
    Waits polls;
  };
  const Case cases[] = {
      {30000, 7000, {3000, 3000, 3000}},
      {2000, 1500, {1000, 1000}},  // lower bound; stopped before the hint ran out
      {200000, 25000, {10000, 10000, 10000}},  // upper bound
  };
  for (const Case& c : cases) {
    testing_support::NextCase("wait hint " + std::to_string(c.waitHint));
    host::services::ScriptStop(kSpooler, Pending(SERVICE_STOP_PENDING, c.waitHint, c.pendingMs, SERVICE_STOPPED));
    EXPECT_EQ(StopSpoolerService(), 1) << "wait hint " << c.waitHint;
    EXPECT_EQ(Sleeps(), c.polls) << "wait hint " << c.waitHint;
    EXPECT_EQ(host::services::StatusOf(kSpooler).dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(host::services::StopCount(kSpooler), 1);
  }
}

TEST(StartSpooler, PollsAHundredthOfTheWaitHintWithinATenthAndOneSecond) {
  struct Case {
    DWORD waitHint;
    DWORD pendingMs;
    Waits polls;
  };
  const Case cases[] = {
      {5000, 250, {100, 100, 100}},  // lower bound
      {50000, 1200, {500, 500, 500}},
      {500000, 1500, {1000, 1000}},  // upper bound
  };
  for (const Case& c : cases) {
    testing_support::NextCase("wait hint " + std::to_string(c.waitHint));
    host::services::SetState(kSpooler, SERVICE_STOPPED);
    host::services::ScriptStart(kSpooler, Pending(SERVICE_START_PENDING, c.waitHint, c.pendingMs, SERVICE_RUNNING));
    EXPECT_EQ(StartSpoolerService(), 1) << "wait hint " << c.waitHint;
    EXPECT_EQ(Sleeps(), c.polls) << "wait hint " << c.waitHint;
    EXPECT_EQ(host::services::StartCount(kSpooler), 1);
  }
}

TEST(SpoolerControl, StopThenStartWithTheDefaultService) {
  EXPECT_EQ(StopSpoolerService(), 1);
  EXPECT_EQ(host::services::StatusOf(kSpooler).dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
  EXPECT_EQ(StartSpoolerService(), 1);
  EXPECT_EQ(host::services::StatusOf(kSpooler).dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
  // Manager and service, opened and closed by each operation.
  EXPECT_EQ(host::CallCount("OpenSCManagerW"), 2);
  EXPECT_EQ(host::CallCount("OpenServiceW"), 2);
  EXPECT_EQ(host::CallCount("CloseServiceHandle"), 4);
}

TEST(SpoolerControl, AlreadyInTheWantedStateIsSuccessWithoutWaiting) {
  host::services::SetState(kSpooler, SERVICE_STOPPED);
  EXPECT_EQ(StopSpoolerService(), 1);
  EXPECT_EQ(host::services::StopCount(kSpooler), 0);

  host::services::SetState(kSpooler, SERVICE_RUNNING);
  EXPECT_EQ(StartSpoolerService(), 1);
  EXPECT_EQ(host::services::StartCount(kSpooler), 0);
  EXPECT_TRUE(Sleeps().empty());
}

TEST(SpoolerControl, MachineWithoutSpoolerIsSuccess) {
  host::services::RemoveService(kSpooler);
  EXPECT_EQ(StopSpoolerService(), 1);
  EXPECT_EQ(StartSpoolerService(), 1);
  EXPECT_EQ(host::CallCount("CloseServiceHandle"), 2);  // the managers
}

TEST(SpoolerControl, StalledCheckPointEndsTheWaitAfterTheWaitHint) {
  // The check point advances once (restarting the clock), then stalls for good.
  host::services::ScriptStop(kSpooler, {Phase{SERVICE_STOP_PENDING, 1, 2000, 1000},
                                        Phase{SERVICE_STOP_PENDING, 2, 2000, INFINITE}});
  EXPECT_EQ(StopSpoolerService(), 0);
  // 1000: check point grew; 2000, 3000: within the hint; 4000: 3000 ms > 2000 ms.
  EXPECT_EQ(Sleeps(), (Waits{1000, 1000, 1000, 1000}));

  // The result follows the last state seen: the service stops only after the wait ended.
  testing_support::NextCase("service starts after the wait");
  host::services::SetState(kSpooler, SERVICE_STOPPED);
  host::services::ScriptStart(kSpooler, Pending(SERVICE_START_PENDING, 300, 1000, SERVICE_RUNNING));
  EXPECT_EQ(StartSpoolerService(), 0);
  EXPECT_EQ(Sleeps(), (Waits{100, 100, 100, 100}));
  host::clock::Advance(1000);
  EXPECT_EQ(host::services::StatusOf(kSpooler).dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
}

TEST(SpoolerControl, ServiceSettlingInAnotherStateIsFailure) {
  host::services::ScriptStop(kSpooler, Pending(SERVICE_STOP_PENDING, 3000, 1000, SERVICE_RUNNING));
  EXPECT_EQ(StopSpoolerService(), 0);

  host::services::SetState(kSpooler, SERVICE_STOPPED);
  host::services::ScriptStart(kSpooler, Pending(SERVICE_START_PENDING, 3000, 100, SERVICE_STOPPED));
  EXPECT_EQ(StartSpoolerService(), 0);
}

TEST(SpoolerControl, ManagerOrServiceThatCannotBeOpenedIsFailure) {
  host::services::SetAdministrator(false);  // the manager's all access is refused
  EXPECT_EQ(StopSpoolerService(), 0);
  EXPECT_EQ(StartSpoolerService(), 0);
  EXPECT_EQ(host::CallCount("OpenServiceW"), 0);

  host::services::SetAdministrator(true);
  host::FailCall("OpenServiceW", ERROR_ACCESS_DENIED, 2);
  EXPECT_EQ(StopSpoolerService(), 0);
  EXPECT_EQ(StartSpoolerService(), 0);
  EXPECT_EQ(host::CallCount("CloseServiceHandle"), 2);  // the managers
}

TEST(SpoolerControl, RefusedControlIsSuccessOnlyForNotActiveAndShutdown) {
  host::services::SetShuttingDown(true);
  EXPECT_EQ(StopSpoolerService(), 1);   // ERROR_SHUTDOWN_IN_PROGRESS
  host::services::SetState(kSpooler, SERVICE_STOPPED);
  EXPECT_EQ(StartSpoolerService(), 0);  // the same error refuses a start
  host::services::SetShuttingDown(false);

  host::services::SetState(kSpooler, SERVICE_RUNNING);
  host::FailCall("ControlService", ERROR_DEPENDENT_SERVICES_RUNNING);
  EXPECT_EQ(StopSpoolerService(), 0);
  host::services::SetState(kSpooler, SERVICE_STOP_PENDING);  // cannot accept the control
  EXPECT_EQ(StopSpoolerService(), 0);

  host::services::SetState(kSpooler, SERVICE_STOPPED);
  host::services::SetDisabled(kSpooler, true);
  EXPECT_EQ(StartSpoolerService(), 0);
  EXPECT_TRUE(Sleeps().empty());
}

TEST(SpoolerControl, FailedStatusQueries) {
  // The first query fails: no wait at all.
  host::FailCall("QueryServiceStatus", ERROR_ACCESS_DENIED);
  EXPECT_EQ(StopSpoolerService(), 0);
  EXPECT_TRUE(Sleeps().empty());

  // A query inside the wait fails: the wait ends with the state seen before.
  testing_support::NextCase("stop, query inside the wait fails");
  host::FailCall("QueryServiceStatus", ERROR_ACCESS_DENIED, 1, 1);
  EXPECT_EQ(StopSpoolerService(), 0);
  EXPECT_EQ(Sleeps(), (Waits{1000}));

  testing_support::NextCase("start, query inside the wait fails");
  host::services::SetState(kSpooler, SERVICE_STOPPED);
  host::FailCall("QueryServiceStatus", ERROR_ACCESS_DENIED, 1, 1);
  EXPECT_EQ(StartSpoolerService(), 0);
  EXPECT_EQ(Sleeps(), (Waits{100}));
}

}  // namespace
