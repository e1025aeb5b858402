#include "support/outcome.h"

#include <algorithm>
#include <vector>

#include "util.h"

std::string ValueOf(const String *s)
{
    if (!s)
        return "(none)";
    return s->bIsSet ? std::string(s->string, s->length) : "(unset)";
}

ReportsAndRecords::ReportsAndRecords()
{
    Lock_Enter(&global_error_lock);
    int32_t n = global_error_store ? Vector_Length(global_error_store) : 0;
    for (int32_t i = 0; i < n; ++i)
        kept_.insert(Vector_GetAt(global_error_store, i));
    Lock_Leave(&global_error_lock);
}

std::string ReportsAndRecords::Since()
{
    std::vector<int32_t> refs;
    Lock_Enter(&global_error_lock);
    int32_t n = global_error_store ? Vector_Length(global_error_store) : 0;
    for (int32_t i = 0; i < n; ++i) {
        const void *record = Vector_GetAt(global_error_store, i);
        if (record && !kept_.count(record))
            refs.push_back(ERROR_COMPLEX_BIT + i + 1);
    }
    Lock_Leave(&global_error_lock);
    std::string out;
    for (int32_t ref : refs) {
        Error *e = Error_Take(ref);
        std::string message = !e->message ? "(none)" : e->message->bIsSet ? e->message->string : "(unset)";
        out += " [" + std::to_string(e->code) + " " + message + "]";
        Error_Destroy(e);
    }
    std::vector<std::string> messages = cap_.Messages();
    for (; seen_ < messages.size(); ++seen_) {
        const std::string &m = messages[seen_];
        out += " <" + m.substr(0, std::min(m.find(" at util:"), m.find(" in file "))) + ">";
    }
    return out;
}
