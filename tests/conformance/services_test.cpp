// The service control manager on the print spooler service, as the program stops and starts it:
// opening the manager and "Spooler", its status, a stop and a start, and a service that is missing.
#include <cstring>

#include "conformance.h"

namespace {

using conformance::kPoison;

constexpr DWORD kSpoolerAccess = SERVICE_QUERY_STATUS | SERVICE_START | SERVICE_STOP;

// Polls the status until the service is in `state`; false after 30 s. `last` gets the last status.
bool WaitForState(SC_HANDLE service, DWORD state, SERVICE_STATUS* last) {
  ULONGLONG deadline = GetTickCount64() + 30000;
  while (true) {
    if (!QueryServiceStatus(service, last)) return false;
    if (last->dwCurrentState == state) return true;
    if (GetTickCount64() > deadline) return false;
    Sleep(50);
  }
}

class Services : public ::testing::Test {
 protected:
  void SetUp() override {
    SetLastError(kPoison);
    manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(manager_, nullptr) << "error " << GetLastError();
  }
  void TearDown() override {
    if (service_) {
      EXPECT_TRUE(CloseServiceHandle(service_));
    }
    if (manager_) {
      EXPECT_TRUE(CloseServiceHandle(manager_));
    }
  }

  // Opens "Spooler" and makes sure it runs (Wine starts its spooler only on demand).
  void OpenRunningSpooler() {
    service_ = OpenServiceW(manager_, L"Spooler", kSpoolerAccess);
    ASSERT_NE(service_, nullptr) << "error " << GetLastError();
    SERVICE_STATUS status;
    ASSERT_TRUE(QueryServiceStatus(service_, &status)) << "error " << GetLastError();
    if (status.dwCurrentState == SERVICE_STOPPED) {
      ASSERT_TRUE(StartServiceW(service_, 0, nullptr));
    }
    ASSERT_TRUE(WaitForState(service_, SERVICE_RUNNING, &status)) << "state " << status.dwCurrentState;
  }

  SC_HANDLE manager_ = nullptr;
  SC_HANDLE service_ = nullptr;
};

TEST_F(Services, MissingServiceIsReportedAs1060) {
  SetLastError(kPoison);
  EXPECT_EQ(OpenServiceW(manager_, L"ConformanceNoSuchService", SERVICE_QUERY_STATUS), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
  // A name a service cannot have is refused as a name.
  for (const wchar_t* name : {L"", L"Spooler\\Sub"}) {
    SetLastError(kPoison);
    EXPECT_EQ(OpenServiceW(manager_, name, SERVICE_QUERY_STATUS), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
  }
  // Only the active database exists by name.
  SetLastError(kPoison);
  EXPECT_EQ(OpenSCManagerW(nullptr, SERVICES_FAILED_DATABASEW, SC_MANAGER_CONNECT), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DATABASE_DOES_NOT_EXIST));
  SetLastError(kPoison);
  EXPECT_EQ(OpenSCManagerW(nullptr, L"ConformanceDatabase", SC_MANAGER_CONNECT), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
}

TEST_F(Services, RunningSpoolerStatus) {
  ASSERT_NO_FATAL_FAILURE(OpenRunningSpooler());
  // Service names match without regard to case.
  SC_HANDLE other = OpenServiceW(manager_, L"spooler", SERVICE_QUERY_STATUS);
  ASSERT_NE(other, nullptr) << "error " << GetLastError();
  SERVICE_STATUS status;
  std::memset(&status, 0xAB, sizeof status);
  EXPECT_TRUE(QueryServiceStatus(other, &status));
  EXPECT_TRUE(CloseServiceHandle(other));
  EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_EQ(status.dwServiceType & SERVICE_WIN32_OWN_PROCESS, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
  EXPECT_NE(status.dwControlsAccepted & SERVICE_ACCEPT_STOP, 0u);
  EXPECT_EQ(status.dwWin32ExitCode, 0u);
  EXPECT_EQ(status.dwCheckPoint, 0u);
}

TEST_F(Services, SpoolerStopsAndStartsAgain) {
  ASSERT_NO_FATAL_FAILURE(OpenRunningSpooler());
  SERVICE_STATUS status;
  std::memset(&status, 0xAB, sizeof status);
  ASSERT_TRUE(ControlService(service_, SERVICE_CONTROL_STOP, &status)) << "error " << GetLastError();
  EXPECT_TRUE(status.dwCurrentState == SERVICE_STOP_PENDING || status.dwCurrentState == SERVICE_STOPPED)
      << "state " << status.dwCurrentState;
  ASSERT_TRUE(WaitForState(service_, SERVICE_STOPPED, &status)) << "state " << status.dwCurrentState;

  // A stopped service refuses a stop, and still reports its status.
  std::memset(&status, 0xAB, sizeof status);
  SetLastError(kPoison);
  EXPECT_FALSE(ControlService(service_, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE));
  EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));

  ASSERT_TRUE(StartServiceW(service_, 0, nullptr)) << "error " << GetLastError();
  SetLastError(kPoison);
  EXPECT_FALSE(StartServiceW(service_, 0, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING));
  EXPECT_TRUE(WaitForState(service_, SERVICE_RUNNING, &status)) << "state " << status.dwCurrentState;
}

TEST_F(Services, RefusalsOfRightsAndHandles) {
  // ERROR_ACCESS_DENIED for a handle without the right, ERROR_INVALID_HANDLE for a handle that is
  // no open service.
  SC_HANDLE queryOnly = OpenServiceW(manager_, L"Spooler", SERVICE_QUERY_STATUS);
  ASSERT_NE(queryOnly, nullptr) << "error " << GetLastError();
  SERVICE_STATUS status;
  SetLastError(kPoison);
  EXPECT_FALSE(ControlService(queryOnly, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  SetLastError(kPoison);
  EXPECT_FALSE(StartServiceW(queryOnly, 0, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(CloseServiceHandle(queryOnly));

  SetLastError(kPoison);
  EXPECT_FALSE(QueryServiceStatus(reinterpret_cast<SC_HANDLE>(manager_), &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  SetLastError(kPoison);
  EXPECT_FALSE(CloseServiceHandle(queryOnly));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

}  // namespace
