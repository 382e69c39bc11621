// Shared between the host's print spooler and the parts of it built on its printer handles
// (ports, port monitors): the objects behind spooler handles and the names OpenPrinterW knows.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "winhost/base.h"

namespace host {

// What a spooler handle refers to: an installed printer, the print server, or whatever another
// part of the spooler opens by a special name (",XcvPort <port>").
class SpoolerObject {
 public:
  virtual ~SpoolerObject() = default;
  virtual std::string Describe() const = 0;
};

// The object behind an open spooler handle; null for a handle that is not open.
std::shared_ptr<SpoolerObject> SpoolerObjectOf(HANDLE handle);
template <typename T>
std::shared_ptr<T> SpoolerObjectAs(HANDLE handle) {
  return std::dynamic_pointer_cast<T>(SpoolerObjectOf(handle));
}

// A name OpenPrinterW resolves before looking for an installed printer, given with the access
// the caller asked for (0 without defaults). The resolver returns false for a name that is not
// its own; for its own it returns true with the object to open, or with null and the error to
// fail with. Registered once, for the life of the process (a machine reset keeps it).
using SpoolerNameResolver = std::function<bool(const std::wstring& name, DWORD desiredAccess,
                                               std::shared_ptr<SpoolerObject>* object, DWORD* error)>;
void RegisterSpoolerNameResolver(SpoolerNameResolver resolver);

}  // namespace host
