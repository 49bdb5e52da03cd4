#pragma once

// Every runner thread keeps one descriptor open (its event dispatcher's wake-up), so a console
// with thousands of channels needs more open files than the usual soft limit of 1024. Raises the
// soft limit on open files to the hard limit; returns the soft limit in force afterwards (-1 when
// it cannot be read). The process only polls, never select()s, so descriptors past 1024 are safe.
long raiseOpenFileLimit();
