#pragma once
// The C library's locale for a program that reads and writes text as
// UTF-8 whatever the environment says.

namespace quillet {

// Call before the Q*Application is made. Where the locale the environment
// names has no UTF-8 character type (LANG and LC_ALL unset or "C", as in
// cron, batch jobs and a fresh system, or an ISO-8859 locale), the
// character type becomes C.UTF-8; numbers, dates, sorting and messages keep
// the categories the environment chose. Qt treats text and file names as
// UTF-8 either way, but otherwise switches the character type itself and
// says so on standard error at every start. Changes the environment, as
// Qt reads the locale from it.
void UseUtf8CharacterType();

} // namespace quillet
