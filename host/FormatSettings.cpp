#include "host/FormatSettings.h"

namespace host {

// Until a program sets its own: the common international forms.
const char* ShortDateFormat = "dd/MM/yyyy";
const char* ShortTimeFormat = "hh:nn";
const char* LongTimeFormat = "hh:nn:ss";
char DateSeparator = '/';
char TimeSeparator = ':';

}  // namespace host
