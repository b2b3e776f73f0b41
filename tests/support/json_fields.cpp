#include "support/json_fields.h"

#include "support/commands.h"
#include "support/test_files.h"

namespace mirebolt::testing {

namespace {

// Each member as its path and value, each ended by a NUL, so that any text may stand in them.
constexpr char kFlatten[] = R"(
import json, sys
def walk(path, value):
    if isinstance(value, (dict, list)) and len(value) > 0:
        items = value.items() if isinstance(value, dict) else enumerate(value)
        for key, member in items:
            walk(path + [str(key)], member)
    else:
        text = value if isinstance(value, str) else json.dumps(value)
        sys.stdout.buffer.write(('.'.join(path) + '\0' + text + '\0').encode('utf-8'))
with open(sys.argv[1], encoding='utf-8') as document:
    walk([], json.load(document))
)";

}  // namespace

std::optional<std::map<std::string, std::string>> JsonFields(const std::string& document) {
    TempDir folder;
    const std::string file = folder / "document.json";
    WriteBytes(file, Bytes(document.begin(), document.end()));
    const CommandResult flattened = RunCommand({"/usr/bin/python3", "-c", kFlatten, file});
    if (flattened.exitCode != 0) {
        return std::nullopt;
    }
    std::map<std::string, std::string> fields;
    for (std::size_t at = 0; at < flattened.output.size();) {
        const std::size_t pathEnd = flattened.output.find('\0', at);
        const std::size_t valueEnd = flattened.output.find('\0', pathEnd + 1);
        if (pathEnd == std::string::npos || valueEnd == std::string::npos) {
            return std::nullopt;
        }
        fields[flattened.output.substr(at, pathEnd - at)] =
            flattened.output.substr(pathEnd + 1, valueEnd - pathEnd - 1);
        at = valueEnd + 1;
    }
    return fields;
}

}  // namespace mirebolt::testing
