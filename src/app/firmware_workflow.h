// The firmware download workflow without any window: from an installed printer's name to an
// updated firmware, or to the one sentence that says why not. It asks the printer for its
// identity and panel culture, picks the image by model and culture, asks the engine whether the
// printer needs it and has it burned. Its stages and its outcome go to an observer: the main
// dialog shows them in the progress dialog and a message box, the command line prints them.
#pragma once

#include "app/image_files.h"
#include "engine/engine_context.h"
#include "platform/win32.h"

// By the printer's port name: "USB" in it, USB; else "LPT", parallel; else network. A printer
// whose port cannot be read counts as network.
ConnectionKind ConnectionKindOf(const wchar_t* printerName);

// The line shown and printed for a stage code ("Busy" for codes without a line of their own).
const wchar_t* StageLine(LPARAM stage);

// How a run ended.
enum class WorkflowResult {
  InfoUnavailable,    // the build information could not be read
  CultureUnknown,     // the panel culture is neither Western nor Asian
  ImageUnsupported,   // the image for the model and culture is missing
  PathTooLong,        // the image's path does not fit
  Current,            // the printer has the image's firmware already
  UpdateRequired,     // the observer stopped the run before the burn
  Updated,            // burned
  DownloadFailed,     // the burn, or loading the engine context for it, failed
};

struct WorkflowOutcome {
  WorkflowResult result = WorkflowResult::InfoUnavailable;
  // The message box's text and icon (MB_ICONERROR, MB_ICONWARNING); null text and 0 after a
  // successful burn or a run stopped before it.
  const wchar_t* message = nullptr;
  UINT icon = 0;
  // The image slot by model and culture (-1 before the culture was read) and the image's path
  // (empty until it was formed).
  int slot = -1;
  wchar_t imagePath[PROGRAM_PATH_CHARS] = {};
  // What the dialog's workflow returns: 1 when the engine was asked to decide, else 0.
  int ReturnValue() const;
};

class WorkflowObserver {
 public:
  virtual ~WorkflowObserver() = default;
  // The connection kind is known; nothing has been asked of the printer yet.
  virtual void Started(ConnectionKind kind) = 0;
  // A stage begins: one of the progress stage codes (progress_messages.h).
  virtual void Stage(LPARAM stage) = 0;
  // The printer needs the image: whether to burn it. Returning false ends the run with
  // UpdateRequired.
  virtual bool ProceedToBurn() { return true; }
  // The burn is over (whatever its result); the fixed wait after a network burn follows.
  virtual void Burned(bool success) {}
  // The run is over; called exactly once per run.
  virtual void Finished(const WorkflowOutcome& outcome) = 0;
};

// Runs the workflow for one installed printer (at most 255 characters) and returns its outcome,
// which it also hands to the observer.
WorkflowOutcome RunFirmwareWorkflow(const wchar_t* printerName, WorkflowObserver& observer);
// The same for a network printer that is not installed, at `address` (a dotted IPv4 address,
// at most 255 characters); the burn's commands name it `name` (at most 255 characters).
WorkflowOutcome RunFirmwareWorkflowAt(const wchar_t* name, const wchar_t* address, WorkflowObserver& observer);
