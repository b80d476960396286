// The process-wide formats of dates and times, as a program sets them at its start (to texts
// that live as long as the program).
#pragma once

namespace host {

extern const char* ShortDateFormat;
extern const char* ShortTimeFormat;
extern const char* LongTimeFormat;
extern char DateSeparator;
extern char TimeSeparator;

}  // namespace host
