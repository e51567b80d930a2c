// Shared by the fuzz targets: a scratch folder for the files an input is
// written to, and the check that turns a broken property into a finding.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fuzzing {

// A folder of this process's own under the temporary folder, made on first
// use and removed at exit; ends with "/".
const std::string& ScratchFolder();

// Writes `bytes` as the whole of `path` through the core's file writer.
// A failure here is the harness's own fault: it stops the run.
void WriteInput(const std::string& path, std::string_view bytes);

// The lines of `text`: CR LF, a lone LF and a lone CR each end one line, and
// a break at the very end adds no empty line after it.
std::vector<std::string> SplitLines(std::string_view text);

// Reports the broken property and aborts, which libFuzzer records as a crash
// together with the input that caused it.
[[noreturn]] void Fail(const char* what, const char* file, int line);

}  // namespace fuzzing

#define FUZZ_CHECK(condition) \
  ((condition) ? static_cast<void>(0) : ::fuzzing::Fail(#condition, __FILE__, __LINE__))
