#include "support/outcome.h"

#include <algorithm>
#include <vector>

std::string ValueOf(const String *s)
{
    if (!s)
        return "(none)";
    if (!s->bIsSet)
        return s->string == nullptr && s->length == 0 ? "(unset)" : "(invalid)";
    if (s->string == nullptr || s->string[s->length] != '\0')
        return "(invalid)";
    return std::string(s->string, s->length);
}

// The records in the store, each with its reference.
static std::vector<std::pair<const void *, int32_t>> StoredRecords()
{
    std::vector<std::pair<const void *, int32_t>> records;
    Lock_Enter(&global_error_lock);
    for (int32_t i = 0; global_error_store && i < Vector_Length(global_error_store); ++i)
        records.emplace_back(Vector_GetAt(global_error_store, i), ERROR_COMPLEX_BIT + i + 1);
    Lock_Leave(&global_error_lock);
    return records;
}

ReportsAndRecords::ReportsAndRecords()
{
    for (const auto &record : StoredRecords())
        kept_.insert(record.first);
}

std::string ReportsAndRecords::Since()
{
    std::string out;
    for (const auto &record : StoredRecords()) {
        if (!record.first || kept_.count(record.first))
            continue;
        Error *e = Error_Take(record.second);
        out += " [" + std::to_string(e->code) + " " + ValueOf(e->message) + (e->osError ? "; OS error]" : "]");
        Error_Destroy(e);
    }
    std::vector<std::string> messages = cap_.Messages();
    for (; seen_ < messages.size(); ++seen_) {
        const std::string &m = messages[seen_];
        out += " <" + m.substr(0, std::min(m.find(" at util:"), m.find(" in file "))) + ">";
    }
    return out;
}
