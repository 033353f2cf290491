#pragma once
// The automatic log-in test and the log-in post body, shared by the navigator, the periodic
// server check and the browser helper object.
#include <string>

namespace tt {

// True when the server permits automatic log-in (AllowAutoLogin flag) and the user enabled it
// (the AutoLogin setting is exactly "Yes").
bool IsAutoLoginActive();

// String 108 filled with the stored user name and the decrypted password, followed by tail;
// or the empty text when automatic log-in is not active or no user name is stored. The body is
// built in one buffer and the decrypted password wiped: the caller wipes the body after use.
std::u16string BuildLoginBody(const std::u16string& tail = {});

// The same body for given credentials. The characters the form encoding reserves ("&", "=",
// "+", "%") are percent-encoded so that a password holding them logs in as typed; every other
// character goes in unchanged (the caller turns the text into bytes).
std::u16string FormatLoginBody(const std::u16string& userName, const std::u16string& password,
                               const std::u16string& tail = {});

// Percent-encodes "&", "=", "+" and "%"; leaves everything else alone.
std::u16string EscapeFormReserved(const std::u16string& text);

}  // namespace tt
