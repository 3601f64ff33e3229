// Where the tool finds the module and ZeltoSim that ship with it, and the driver
// path in the registry that the module reads.
#ifndef ZELTO_TOOLS_ZELTOGRAB_BUNDLED_FILES_H_
#define ZELTO_TOOLS_ZELTOGRAB_BUNDLED_FILES_H_

#include <optional>
#include <string>
#include <vector>

namespace zelto::grab {

// HKEY_LOCAL_MACHINE key and REG_SZ value naming the driver library.
inline constexpr const char* kDriverKeyPath = "SOFTWARE\\KTS Imaging\\ZeltoRGB driver";
inline constexpr const char* kDriverValueName = "RGBCaptureDLLName";

// Where to look for `file_name`, in order: beside the executable, in ../lib from
// it (the native install), then at `build_relative_dir` from the executable's
// directory (its place in the build tree). Pure: paths are only joined.
std::vector<std::string> CandidatePaths(const std::string& executable_path,
                                        const std::string& file_name,
                                        const std::string& build_relative_dir);

// The first candidate that exists, made absolute; nothing when none does.
std::optional<std::string> FindBundled(const std::string& file_name,
                                       const std::string& build_relative_dir);

// The stored driver path; nothing when the value is absent, empty or not a string.
std::optional<std::string> ReadDriverPath();
bool WriteDriverPath(const std::string& path, std::string* error);

}  // namespace zelto::grab

#endif  // ZELTO_TOOLS_ZELTOGRAB_BUNDLED_FILES_H_
