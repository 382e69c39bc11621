// Address validation and host resolution for a networked printer's address text. Each call
// brings up a Network of its own and releases it before returning, so every call resolves afresh.
#pragma once

// True when `host` resolves to a valid IPv4 or IPv6 address. Null or empty: false.
bool ValidIPAddress(const wchar_t* host);

// Replaces a host name by the text of its address. `out` is a buffer of 256 characters and may
// be the buffer that holds `host`. 1 when resolved (out holds the address text, empty when the
// address was not valid), 0 otherwise (out untouched).
int ResolveHostname(const wchar_t* host, wchar_t* out);
