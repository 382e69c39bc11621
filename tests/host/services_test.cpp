// The simulated service control manager against documented Windows behaviour (as Wine's
// advapi32 service tests record it: error codes of each call, status filled on refusals).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "host/clock.h"
#include "host/machine.h"
#include "host/services.h"
#include "platform/win32.h"

namespace {

const wchar_t kSpooler[] = L"Spooler";
constexpr DWORD kPoison = 0xDEADBEEF;

SERVICE_STATUS Poisoned() {
  SERVICE_STATUS status;
  std::fill_n(reinterpret_cast<DWORD*>(&status), sizeof status / sizeof(DWORD), kPoison);
  return status;
}

class Services : public ::testing::Test {
 protected:
  void TearDown() override {
    if (service_) CloseServiceHandle(service_);
    if (manager_) CloseServiceHandle(manager_);
  }
  void Open(DWORD serviceAccess) {
    manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    ASSERT_NE(manager_, nullptr);
    service_ = OpenServiceW(manager_, kSpooler, serviceAccess);
    ASSERT_NE(service_, nullptr);
  }
  SC_HANDLE manager_ = nullptr;
  SC_HANDLE service_ = nullptr;
};

TEST_F(Services, OpenManagerChecksMachineAndDatabase) {
  SetLastError(kPoison);
  manager_ = OpenSCManagerW(L"", SERVICES_ACTIVE_DATABASEW, SC_MANAGER_CONNECT);
  EXPECT_NE(manager_, nullptr);
  EXPECT_EQ(GetLastError(), 0u);

  struct Case {
    const wchar_t* machine;
    const wchar_t* database;
    DWORD error;
  };
  const Case failures[] = {
      {L"DOESNOTEXIST", nullptr, RPC_S_SERVER_UNAVAILABLE},
      {nullptr, L"DoesNotExist", ERROR_INVALID_NAME},
      {nullptr, SERVICES_FAILED_DATABASEW, ERROR_DATABASE_DOES_NOT_EXIST},
  };
  for (const Case& c : failures) {
    SetLastError(kPoison);
    EXPECT_EQ(OpenSCManagerW(c.machine, c.database, SC_MANAGER_CONNECT), nullptr);
    EXPECT_EQ(GetLastError(), c.error);
  }
}

TEST_F(Services, OpenServiceChecksHandleAndName) {
  SetLastError(kPoison);
  EXPECT_EQ(OpenServiceW(nullptr, kSpooler, GENERIC_READ), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

  manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  SetLastError(kPoison);
  EXPECT_EQ(OpenServiceW(manager_, nullptr, GENERIC_READ), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ADDRESS));
  SetLastError(kPoison);
  EXPECT_EQ(OpenServiceW(manager_, L"deadbeef", GENERIC_READ), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));

  // Names match without regard to case.
  service_ = OpenServiceW(manager_, L"SPOOLER", GENERIC_READ);
  EXPECT_NE(service_, nullptr);

  host::services::RemoveService(kSpooler);
  SetLastError(kPoison);
  EXPECT_EQ(OpenServiceW(manager_, kSpooler, GENERIC_READ), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
}

TEST_F(Services, WithoutAdministratorRightsOnlyReadingIsGranted) {
  host::services::SetAdministrator(false);
  SetLastError(kPoison);
  EXPECT_EQ(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

  manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  ASSERT_NE(manager_, nullptr);
  SetLastError(kPoison);
  EXPECT_EQ(OpenServiceW(manager_, kSpooler, SERVICE_STOP | SERVICE_QUERY_STATUS), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  service_ = OpenServiceW(manager_, kSpooler, GENERIC_READ);
  EXPECT_NE(service_, nullptr);
}

TEST_F(Services, CallsNeedTheRightsTheHandleWasOpenedWith) {
  Open(SERVICE_QUERY_STATUS);
  SERVICE_STATUS status = Poisoned();
  SetLastError(kPoison);
  EXPECT_FALSE(ControlService(service_, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(status.dwCurrentState, kPoison);  // not filled for this error
  SetLastError(kPoison);
  EXPECT_FALSE(StartServiceW(service_, 0, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(QueryServiceStatus(service_, &status));
  EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));

  // A manager handle is not a service handle.
  SetLastError(kPoison);
  EXPECT_FALSE(QueryServiceStatus(manager_, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(Services, StopMovesThroughTheScriptedPhasesOnTheHostClock) {
  Open(SERVICE_STOP | SERVICE_START | SERVICE_QUERY_STATUS);
  host::services::ScriptStop(kSpooler, {host::services::Phase{SERVICE_STOP_PENDING, 1, 4000, 300},
                                        host::services::Phase{SERVICE_STOP_PENDING, 2, 4000, 300},
                                        host::services::Phase{SERVICE_STOPPED}});
  SERVICE_STATUS status = Poisoned();
  ASSERT_TRUE(ControlService(service_, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOP_PENDING));
  EXPECT_EQ(status.dwCheckPoint, 1u);
  EXPECT_EQ(status.dwWaitHint, 4000u);
  EXPECT_EQ(status.dwControlsAccepted, 0u);

  host::clock::Advance(299);
  ASSERT_TRUE(QueryServiceStatus(service_, &status));
  EXPECT_EQ(status.dwCheckPoint, 1u);
  host::clock::Advance(1);
  ASSERT_TRUE(QueryServiceStatus(service_, &status));
  EXPECT_EQ(status.dwCheckPoint, 2u);
  host::clock::Advance(300);
  ASSERT_TRUE(QueryServiceStatus(service_, &status));
  EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
  EXPECT_EQ(status.dwCheckPoint, 0u);
  EXPECT_EQ(status.dwWaitHint, 0u);
}

TEST_F(Services, RefusalsByStateFillTheStatus) {
  Open(SERVICE_STOP | SERVICE_START | SERVICE_QUERY_STATUS);
  SERVICE_STATUS status = Poisoned();
  SetLastError(kPoison);
  EXPECT_FALSE(StartServiceW(service_, 0, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING));

  ASSERT_TRUE(ControlService(service_, SERVICE_CONTROL_STOP, &status));
  status = Poisoned();
  EXPECT_FALSE(ControlService(service_, SERVICE_CONTROL_STOP, &status));  // stop pending
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_CANNOT_ACCEPT_CTRL));
  EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOP_PENDING));

  host::clock::Advance(10000);
  status = Poisoned();
  EXPECT_FALSE(ControlService(service_, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE));
  EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));

  host::services::SetDisabled(kSpooler, true);
  EXPECT_FALSE(StartServiceW(service_, 0, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DISABLED));
  host::services::SetDisabled(kSpooler, false);
  host::services::SetShuttingDown(true);
  EXPECT_FALSE(StartServiceW(service_, 0, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHUTDOWN_IN_PROGRESS));
  host::services::SetShuttingDown(false);
  EXPECT_TRUE(StartServiceW(service_, 0, nullptr));
  EXPECT_EQ(host::services::StartCount(kSpooler), 1);
}

TEST_F(Services, HandlesAreCountedUntilClosedOnce) {
  Open(GENERIC_READ);
  auto open = host::OpenResources();
  ASSERT_EQ(open.size(), 2u);
  EXPECT_EQ(open[0].rfind("services: service control manager handle 0x", 0), 0u) << open[0];
  EXPECT_NE(open[1].find("service handle 0x"), std::string::npos) << open[1];
  EXPECT_NE(open[1].find("(\"Spooler\")"), std::string::npos) << open[1];

  // Closing the manager leaves the service handle usable.
  EXPECT_TRUE(CloseServiceHandle(manager_));
  SetLastError(kPoison);
  EXPECT_FALSE(CloseServiceHandle(manager_));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  manager_ = nullptr;
  SERVICE_STATUS status;
  EXPECT_TRUE(QueryServiceStatus(service_, &status));
  EXPECT_TRUE(CloseServiceHandle(service_));
  service_ = nullptr;
  EXPECT_TRUE(host::OpenResources().empty());
}

}  // namespace
