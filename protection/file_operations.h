#pragma once

#include <string>

#include "base/result.h"
#include "protection/file_identity.h"

namespace mirebolt::protection {

// True when a file of that name can be opened for reading. A folder does not count, nor does a
// name that exists but cannot be opened.
bool FileExists(const std::string& name);

// Whether the output can be written: `outputName` must be free or hold a regular file, and a
// probe file whose name starts with the output's full name and ends in ".xxx" is created and
// deleted again. The probe only ever creates a new file, taking another name when one is in
// use (a random one once the usual names are all taken or too long for the system), and deletes
// only what it created, so a file that already has a probe's name is left alone.
Status ProbeWritable(const std::string& outputName);

// Whether `name`, whatever links it goes through, is the file `identity` names.
bool LeadsTo(const std::string& name, const FileIdentity& identity);

// The failure of an output that would be written over the command's own input: the write
// step's.
Failure OutputIsTheInput();

// Deletes the file; false when it could not.
bool DeleteFile(const std::string& name);

}  // namespace mirebolt::protection
