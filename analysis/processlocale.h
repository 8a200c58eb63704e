#pragma once
// The process settings both programs start with: the C library's locale
// for a program that reads and writes text as UTF-8 whatever the
// environment says, and hashing that gives the same files run after run.

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

// Call first. Qt seeds its hash tables anew in every process, and Qt 6.8's
// PDF writer lays out a document's fonts in the order of such a table: the
// same picture with two fonts came out as other bytes at every run. With a
// fixed seed a PDF, like every other export, is the same bytes each time,
// and the window's export the same as quillet-map's.
void UseReproducibleHashing();

} // namespace quillet
