#include "support/cases.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "app/image_files.h"
#include "app/printer_list.h"
#include "diag/diag_log.h"
#include "engine/engine_context.h"
#include "engine/local_acl.h"
#include "host/machine.h"
#include "platform/spooler_library.h"

namespace testing_support {
namespace {

// The program's process-wide state that a test may change: what it was before the first test.
struct ProgramState {
  wchar_t imageFiles[IMAGE_SLOT_COUNT][IMAGE_NAME_CHARS];
  std::wstring prefix;
  std::wstring caption;
};

const ProgramState& InitialProgramState() {
  static const ProgramState initial = [] {
    ProgramState state;
    std::memcpy(state.imageFiles, ::imageFiles, sizeof state.imageFiles);
    state.prefix = DiagLog::Instance().Prefix();
    state.caption = DiagLog::Instance().Caption();
    return state;
  }();
  return initial;
}

void ResetProgramState() {
  const ProgramState& initial = InitialProgramState();
  std::memcpy(::imageFiles, initial.imageFiles, sizeof initial.imageFiles);
  DiagLog::SetPrefix(initial.prefix.c_str());
  DiagLog::SetCaption(initial.caption.c_str());
  DiagLog::SetLogFilePath(nullptr);
  EngineContext() = FWDownloadContext{};
  g_aclCmd = AclCommand{};
  aclResponse = AclReply{};
  progressRunning.store(false);
}

struct CaseState {
  std::string label;
  std::vector<std::string> leftOpenOnPurpose;
};

CaseState& Current() {
  static CaseState state;
  return state;
}

bool OnPurpose(const std::string& item) {
  const std::vector<std::string>& excused = Current().leftOpenOnPurpose;
  return std::any_of(excused.begin(), excused.end(),
                     [&](const std::string& what) { return item.find(what) != std::string::npos; });
}

void CheckCase() {
  // What the program keeps for the life of its process goes as the process would end.
  spooler::ReleaseLibraryAtExit();
  std::string leaks;
  for (const std::string& item : host::OpenResources()) {
    if (!OnPurpose(item)) leaks += "\n  " + item;
  }
  std::string unfired;
  for (const std::string& fault : host::UnfiredFaults()) unfired += "\n  " + fault;
  const std::string& label = Current().label;
  const std::string which = label.empty() ? "" : "case \"" + label + "\" ";
  if (!leaks.empty()) ADD_FAILURE() << which << "left open on the simulated machine:" << leaks;
  if (!unfired.empty()) ADD_FAILURE() << which << "asked for faults that never fired:" << unfired;
}

void StartCase(const std::string& label) {
  InitialProgramState();  // taken before the first test changes anything
  host::ResetMachine();
  ResetProgramState();
  Current() = CaseState{label, {}};
}

}  // namespace

void NextCase(const std::string& label) {
  CheckCase();
  StartCase(label);
}

std::vector<std::string> OpenBesidesTheProcess() {
  spooler::ReleaseLibraryAtExit();
  return host::OpenResources();
}

void LeavesOpen(const std::string& what) { Current().leftOpenOnPurpose.push_back(what); }

void StartTest() { StartCase(""); }

void EndTest() {
  CheckCase();
  Current() = CaseState{};
}

}  // namespace testing_support
