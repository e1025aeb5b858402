// What operations told (records stored, reports written), and String values.
#pragma once

#include <set>
#include <string>

#include "support/log_capture.h"
#include "util.h"

// The characters of a String (NULs included), "(unset)", "(none)", or
// "(invalid)" when its fields break the rules of a String.
std::string ValueOf(const String *s);

class ReportsAndRecords {
public:
    ReportsAndRecords();  // notes the records the store holds already
    // " [code message]" (" [code message; OS error]" for a record with an OS
    // error number) for each record stored since the last call, in slot
    // order, each taken out of the store and destroyed; then " <message>"
    // for each report written since, cut before " at util:" or " in file ".
    std::string Since();

private:
    LogCapture cap_;
    size_t seen_ = 0;
    std::set<const void *> kept_;
};
