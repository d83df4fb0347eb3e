// The configuration keys the launcher interprets, with the readable names the packer accepts.
// No operating-system calls here: the packer includes this list too.
#pragma once

#include <cstdint>
#include <string_view>

namespace brolt::keys {

inline constexpr int32_t kServiceName = 101;
inline constexpr int32_t kRedirectStderr = 102;
inline constexpr int32_t kStderrFile = 103;
inline constexpr int32_t kRedirectStdout = 104;
inline constexpr int32_t kStdoutFile = 105;
inline constexpr int32_t kMainParameterFlag = 106;
inline constexpr int32_t kExecutableType = 107;
inline constexpr int32_t kClassPath = 121;
inline constexpr int32_t kMainClass = 122;
inline constexpr int32_t kVmParameters = 123;
inline constexpr int32_t kArguments = 124;
inline constexpr int32_t kJavaOptionArguments = 125;
inline constexpr int32_t kMinVersion = 126;
inline constexpr int32_t kMaxVersion = 127;
inline constexpr int32_t kSearchSequence = 128;
inline constexpr int32_t kAllowPrerelease = 130;
inline constexpr int32_t kRequireJdk = 131;
inline constexpr int32_t kWorkingDirectory = 146;
inline constexpr int32_t kDependencies = 149;
inline constexpr int32_t kPreferredVmKind = 152;
inline constexpr int32_t kMessageCaption = 1000;
inline constexpr int32_t kLauncherKind = 2001;
inline constexpr int32_t kIncludedFileCount = 2002;
inline constexpr int32_t kIncludedFileNames = 2003;
inline constexpr int32_t kApplicationDirectory = 10003;
inline constexpr int32_t kSearchPathPrefix = 10004;
inline constexpr int32_t kSingleInstance = 10005;
inline constexpr int32_t kDescription = 20017;  // the one wide value
// Settings of the running service and of its install, added later, in a range of their own.
inline constexpr int32_t kStopTimeout = 30001;
inline constexpr int32_t kDisplayName = 30002;
inline constexpr int32_t kAccount = 30003;
inline constexpr int32_t kPasswordVariable = 30004;
inline constexpr int32_t kStartType = 30005;
inline constexpr int32_t kRestartDelays = 30006;
inline constexpr int32_t kResetAfter = 30007;
// The rolling over of the redirected files, which the Java side does.
inline constexpr int32_t kOutputRotateBytes = 30008;
inline constexpr int32_t kOutputKeep = 30009;
// Class-data sharing for the application's classes: on unless set to 0.
inline constexpr int32_t kClassDataSharing = 30010;
// Seconds from the start request to the application's main before the start is given up.
inline constexpr int32_t kStartTimeout = 30011;

// Message texts, shown by the error reporting with "{0}" replaced by an argument.
inline constexpr int32_t kMsgVmCouldNotStart = 1005;
inline constexpr int32_t kMsgFileNotFound = 1006;
inline constexpr int32_t kMsgWrongParameterUsage = 1007;
inline constexpr int32_t kMsgVariableUndefined = 1008;
inline constexpr int32_t kMsgInternalError = 1009;
inline constexpr int32_t kMsgMainClassNotLoaded = 1010;
inline constexpr int32_t kMsgMainMethodNotFound = 1011;
inline constexpr int32_t kMsgPowerUserRequired = 1015;
inline constexpr int32_t kMsgNoVmFound = 1016;
// 1018 to 1021, the runtime that does not load, go by the launcher's word size: core/word_size.h.
inline constexpr int32_t kFirstMessage = 1000;
inline constexpr int32_t kLastMessage = 1021;

// IntegerList: a list whose entries are whole numbers, stored like any list.
enum class Kind { Text, Flag, Integer, List, IntegerList, WideText };

struct KeyInfo {
    int32_t key;
    std::string_view name;  // readable name in a packer configuration file
    Kind kind;
};

inline constexpr KeyInfo kKnownKeys[] = {
    {101, "service.name", Kind::Text},
    {102, "output.redirect_stderr", Kind::Flag},
    {103, "output.stderr_file", Kind::Text},
    {104, "output.redirect_stdout", Kind::Flag},
    {105, "output.stdout_file", Kind::Text},
    {106, "launcher.main_flag", Kind::Flag},
    {107, "launcher.executable_type", Kind::Integer},
    {121, "java.class_path", Kind::List},
    {122, "java.main_class", Kind::Text},
    {123, "java.vm_parameters", Kind::Text},
    {124, "java.arguments", Kind::Text},
    {125, "java.j_options", Kind::Flag},
    {126, "java.min_version", Kind::Text},
    {127, "java.max_version", Kind::Text},
    {128, "java.search_sequence", Kind::List},
    {130, "java.allow_prerelease", Kind::Flag},
    {131, "java.require_jdk", Kind::Flag},
    {146, "launcher.working_directory", Kind::Text},
    {149, "service.dependencies", Kind::List},
    {152, "java.preferred_vm", Kind::Text},
    {1000, "messages.caption", Kind::Text},
    {1001, "messages.no_vm", Kind::Text},
    {1002, "messages.vm_on_path_damaged", Kind::Text},
    {1003, "messages.env_vm_not_working", Kind::Text},
    {1004, "messages.vm_damaged", Kind::Text},
    {1005, "messages.vm_could_not_start", Kind::Text},
    {1006, "messages.file_not_found", Kind::Text},
    {1007, "messages.wrong_parameter_usage", Kind::Text},
    {1008, "messages.variable_undefined", Kind::Text},
    {1009, "messages.internal_error", Kind::Text},
    {1010, "messages.main_class_not_loaded", Kind::Text},
    {1011, "messages.main_method_not_found", Kind::Text},
    {1012, "messages.caption2", Kind::Text},
    {1013, "messages.button", Kind::Text},
    {1014, "messages.startup_error", Kind::Text},
    {1015, "messages.power_user_required", Kind::Text},
    {1016, "messages.no_vm_bits", Kind::Text},
    {1017, "messages.vm_on_path_damaged_bits", Kind::Text},
    {1018, "messages.env_vm_not_working_32", Kind::Text},
    {1019, "messages.env_vm_not_working_64", Kind::Text},
    {1020, "messages.vm_damaged_32", Kind::Text},
    {1021, "messages.vm_damaged_64", Kind::Text},
    {2001, "launcher.kind", Kind::Text},
    {2002, "include.count", Kind::Integer},
    {2003, "include.names", Kind::List},
    {10003, "launcher.application_directory", Kind::Text},
    {10004, "launcher.search_path", Kind::List},
    {10005, "launcher.single_instance", Kind::Flag},
    {20017, "service.description", Kind::WideText},
    {30001, "service.stop_timeout", Kind::Integer},
    {30002, "service.display_name", Kind::Text},
    {30003, "service.account", Kind::Text},
    {30004, "service.password_env", Kind::Text},
    {30005, "service.start", Kind::Text},
    {30006, "service.recovery.restart_delays", Kind::IntegerList},
    {30007, "service.recovery.reset_after", Kind::Integer},
    {30008, "output.rotate_bytes", Kind::Integer},
    {30009, "output.keep", Kind::Integer},
    {30010, "java.class_data_sharing", Kind::Flag},
    {30011, "service.start_timeout", Kind::Integer},
};

// The separator between the entries of a list value: "," for the service dependencies, ";" elsewhere.
constexpr char listSeparator(int32_t key) {
    return key == kDependencies ? ',' : ';';
}

// The readable name of a key, or an empty view when the launcher does not interpret it.
constexpr std::string_view keyName(int32_t key) {
    for (const KeyInfo& info : kKnownKeys) {
        if (info.key == key)
            return info.name;
    }
    return {};
}

}  // namespace brolt::keys
