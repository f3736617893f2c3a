// Placeholder until the timeline lands.
#include "host/timeline.h"

bool write_timeline(const std::string&, const std::vector<TraceEvent>&, const std::string&,
                    std::string& error) {
    error = "the timeline is not built yet";
    return false;
}
