#include "launch/java_launch.h"

#include <windows.h>

#include <string>
#include <vector>

#include "config/keys.h"
#include "core/ansi_text.h"
#include "core/limits.h"
#include "core/log.h"
#include "files/paths.h"
#include "files/tempdir.h"
#include "launch/launch_context.h"
#include "launch/split.h"
#include "launch/vm_options.h"
#include "launch/vm_option_rules.h"

namespace {

using brolt::Failure;
using brolt::kTextBufferSize;
using brolt::LaunchContext;
using MaybeFailure = std::optional<Failure>;

constexpr const char* kRuntimeClass = "com/brolt/runtime/WinLauncher";
constexpr const char* kMainMethod = "main";
constexpr const char* kMainSignature = "([Ljava/lang/String;)V";
constexpr const char* kStringClass = "java/lang/String";
constexpr const char* kFirstRunClass = "com/quendrial/runtime/FirstRun";
constexpr const char* kFirstRunMethod = "firstRun";
constexpr const char* kFirstRunSignature = "()Z";
constexpr const char* kFirstRunMarker = ".quendrial\\firstrun";
// The exit method is looked up on these classes in turn: Shutdown's skips nothing the platform runs at
// exit, System's is there on every runtime.
constexpr const char* kExitClasses[] = {"java/lang/Shutdown", "java/lang/System"};
constexpr const char* kExitMethod = "exit";
constexpr const char* kExitSignature = "(I)V";
// The option strings the VM knows its exit and abort hooks by.
constexpr const char* kExitHookOption = "exit";
constexpr const char* kAbortHookOption = "abort";
// Internal error codes shown with message 1009.
constexpr const char* kCodeFirstRunClassMissing = "14";
constexpr const char* kCodeFirstRunMethodMissing = "15";

// Set when the VM is created; used again by the stop on the same thread. The option strings and their
// array stay until the process ends, since the VM may keep pointers into them.
JavaVM* javaVm = nullptr;
JNIEnv* jniEnv = nullptr;
std::vector<std::string> optionTexts;
std::vector<JavaVMOption> vmOptions;

std::string property(const char* name, const std::string& value) {
    std::string text = std::string("-D") + name + "=" + value;
    if (text.size() >= kTextBufferSize) {
        text.resize(kTextBufferSize - 1);
        logError("property %s cut to %u characters", name, static_cast<unsigned>(text.size()));
    }
    return text;
}

bool isDefined(const char* variable) {
    char value[1];
    SetLastError(ERROR_SUCCESS);  // an empty value answers 0 as well, without an error of its own
    return GetEnvironmentVariableA(variable, value, sizeof value) != 0 ||
           GetLastError() != ERROR_ENVVAR_NOT_FOUND;
}

std::vector<std::string> launcherProperties(const LaunchContext& context) {
    std::vector<std::string> properties;
    if (context.settings.launcherKind == 'q')
        properties.push_back(property("brolt.isQuendrial", "true"));
    properties.push_back(property("brolt.isService", "true"));
    properties.push_back(property("brolt.moduleName", getModulePath()));
    if (context.settings.singleInstance) {
        char commFile[kTextBufferSize];
        makeProcessCommFileName(commFile, GetCurrentProcessId());
        properties.push_back(property("brolt.processCommFile", commFile));
    }
    properties.push_back(property("brolt.tempDir", context.settings.extractionDirectory));
    properties.push_back(
        property("brolt.unextractedPosition", std::to_string(context.settings.unextractedPosition)));
    if (!isDefined("MANPATH"))
        properties.push_back(property("brolt.consoleCodepage", "cp" + std::to_string(GetConsoleOutputCP())));
    return properties;
}

MaybeFailure createJavaVM(const brolt::JavaVmEntryPoints& entryPoints,
                          const std::vector<std::string>& properties,
                          const std::vector<std::wstring>& arguments, const LaunchContext& context) {
    if (MaybeFailure failed = brolt::assembleVmOptions(properties, arguments, context, optionTexts))
        return failed;
    vmOptions.clear();
    for (std::string& text : optionTexts)
        vmOptions.push_back({text.data(), nullptr});
    // The hooks come after the composed list, so its order and numbering stay as they are.
    const brolt::LaunchHooks& hooks = context.settings.hooks;
    if (hooks.vmExit != nullptr)
        vmOptions.push_back({const_cast<char*>(kExitHookOption), reinterpret_cast<void*>(hooks.vmExit)});
    if (hooks.vmAbort != nullptr)
        vmOptions.push_back({const_cast<char*>(kAbortHookOption), reinterpret_cast<void*>(hooks.vmAbort)});
    for (size_t i = optionTexts.size(); i < vmOptions.size(); ++i)
        logInfo("vmoption %d: %s", static_cast<int>(i), vmOptions[i].optionString);

    JavaVMInitArgs initArgs{};
    initArgs.version = JNI_VERSION_1_2;
    initArgs.nOptions = static_cast<jint>(vmOptions.size());
    initArgs.options = vmOptions.data();
    initArgs.ignoreUnrecognized = JNI_TRUE;
    logInfo("Creating JVM");
    jint result = entryPoints.usable()
                      ? entryPoints.createJavaVM(&javaVm, reinterpret_cast<void**>(&jniEnv), &initArgs)
                      : JNI_ERR;
    if (result != JNI_OK || javaVm == nullptr || jniEnv == nullptr) {
        javaVm = nullptr;
        jniEnv = nullptr;
        logError("could not initialize JVM");
        return brolt::failure(brolt::keys::kMsgVmCouldNotStart);
    }
    return std::nullopt;
}

// A redirection file: the absolute path, or empty when not redirected.
std::wstring redirectionFile(const brolt::Redirection& file, const LaunchContext& context) {
    if (!file)
        return {};
    brolt::ExpandedText configured(*file, context, "redirection file");
    char full[kTextBufferSize];
    getFullPath(full, configured.text, true);
    wchar_t wide[brolt::kWideBufferUnits];
    if (!narrowToWide(full, wide, brolt::kWideBufferUnits)) {
        logError("redirection file name not convertible: %s", full);
        return {};
    }
    return wide;
}

MaybeFailure mainParameters(const std::vector<std::wstring>& arguments, const LaunchContext& context,
                            std::vector<std::wstring>& parameters) {
    const brolt::LaunchSettings& settings = context.settings;
    brolt::MainParameterSources sources;
    sources.windowedExecutable = settings.executableType == brolt::ExecutableType::Windowed;
    sources.mainClass = settings.mainClass;
    sources.stderrFile = redirectionFile(settings.stderrFile, context);
    sources.stdoutFile = redirectionFile(settings.stdoutFile, context);
    sources.mainFlag = settings.mainParameterFlag;
    brolt::ExpandedText configured(settings.arguments, context, "arguments");
    if (!splitArguments(fromAnsiCodePage(configured.text).c_str(), sources.configuredArguments)) {
        logError("unclosed quote in the configured arguments");
        return brolt::failure(brolt::keys::kMsgWrongParameterUsage);
    }
    sources.javaOptionArguments = settings.javaOptionArguments;
    parameters = brolt::buildMainParameters(sources, arguments);
    return std::nullopt;
}

// The log shows a parameter in the file-API code page, cut to a text buffer; characters the code page
// lacks show as "?" there only.
std::string loggedForm(const std::wstring& parameter) {
    UINT codePage = fileApiCodePage();
    int length = static_cast<int>(parameter.size());
    int bytes = WideCharToMultiByte(codePage, 0, parameter.data(), length, nullptr, 0, "?", nullptr);
    std::string narrow(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(codePage, 0, parameter.data(), length, narrow.data(), bytes, "?", nullptr);
    if (narrow.size() >= kTextBufferSize)
        narrow.resize(kTextBufferSize - 1);
    return narrow;
}

// Whether the application's main may run (goOn): false when the quendrial first-run class says no or
// fails. A first-run class or method that is missing is a failure.
MaybeFailure checkFirstRun(const LaunchContext& context, bool& goOn) {
    goOn = true;
    std::string marker = context.settings.applicationDirectory;
    if (marker.empty() || marker.back() != '\\')
        marker += '\\';
    marker += kFirstRunMarker;
    if (!fileExists(marker.c_str()))
        return std::nullopt;

    jclass firstRun = jniEnv->FindClass(kFirstRunClass);
    if (firstRun == nullptr)
        return brolt::failure(brolt::keys::kMsgInternalError, kCodeFirstRunClassMissing);
    jmethodID method = jniEnv->GetStaticMethodID(firstRun, kFirstRunMethod, kFirstRunSignature);
    if (method == nullptr)
        return brolt::failure(brolt::keys::kMsgInternalError, kCodeFirstRunMethodMissing);
    goOn = jniEnv->CallStaticBooleanMethod(firstRun, method) == JNI_TRUE;
    if (jniEnv->ExceptionOccurred() != nullptr) {
        jniEnv->ExceptionDescribe();
        goOn = false;
    }
    return std::nullopt;
}

// The Java strings of the parameters in a new String array; nullptr when the VM could not make them.
jobjectArray parameterArray(const std::vector<std::wstring>& parameters) {
    jclass stringClass = jniEnv->FindClass(kStringClass);
    if (stringClass == nullptr)
        return nullptr;
    jobjectArray array = jniEnv->NewObjectArray(static_cast<jsize>(parameters.size()), stringClass, nullptr);
    if (array == nullptr)
        return nullptr;
    for (size_t i = 0; i < parameters.size(); ++i) {
        logInfo("param %d: %s", static_cast<int>(i), loggedForm(parameters[i]).c_str());
        // From the UTF-16 text itself, so Java gets every character the log could not show.
        jstring parameter = jniEnv->NewString(reinterpret_cast<const jchar*>(parameters[i].data()),
                                              static_cast<jsize>(parameters[i].size()));
        if (parameter == nullptr)
            return nullptr;
        jniEnv->SetObjectArrayElement(array, static_cast<jsize>(i), parameter);
    }
    return array;
}

MaybeFailure callMain(const std::vector<std::wstring>& arguments, const LaunchContext& context) {
    if (context.settings.launcherKind == 'q') {
        bool goOn = true;
        if (MaybeFailure failed = checkFirstRun(context, goOn))
            return failed;
        if (!goOn) {
            logInfo("checkFirstRun stopped further execution");
            return std::nullopt;
        }
    }
    logInfo("main class: %s", kRuntimeClass);
    jclass runtimeClass = jniEnv->FindClass(kRuntimeClass);
    if (runtimeClass == nullptr) {
        logError("could not find main class");
        return brolt::failure(brolt::keys::kMsgMainClassNotLoaded);
    }
    jmethodID main = jniEnv->GetStaticMethodID(runtimeClass, kMainMethod, kMainSignature);
    if (main == nullptr) {
        logError("could not find main method");
        return brolt::failure(brolt::keys::kMsgMainMethodNotFound);
    }
    std::vector<std::wstring> parameters;
    if (MaybeFailure failed = mainParameters(arguments, context, parameters))
        return failed;
    logInfo("param count: %d", static_cast<int>(parameters.size()));
    jobjectArray array = parameterArray(parameters);
    if (array == nullptr) {
        // Out of memory in the VM: nothing of the application has run, so the launch failed.
        logError("could not create the parameters of main");
        if (jniEnv->ExceptionOccurred() != nullptr)
            jniEnv->ExceptionDescribe();
        return brolt::silentFailure();
    }
    if (context.settings.hooks.mayCallMain != nullptr && !context.settings.hooks.mayCallMain()) {
        logInfo("stop requested during the start: main not called");
        return brolt::stopBeforeMain();
    }
    logInfo("calling main");
    jniEnv->CallStaticVoidMethod(runtimeClass, main, array);
    logInfo("main returned");
    if (jniEnv->ExceptionOccurred() != nullptr) {
        logError("an exception occured");
        jniEnv->ExceptionDescribe();
        return brolt::silentFailure();
    }
    return std::nullopt;
}

// Looks up the static exit(int) of a class; a failed lookup leaves no exception behind.
jmethodID findExitMethod(const char* className, jclass& exitClass) {
    exitClass = jniEnv->FindClass(className);
    jmethodID method =
        exitClass != nullptr ? jniEnv->GetStaticMethodID(exitClass, kExitMethod, kExitSignature) : nullptr;
    if (method == nullptr && jniEnv->ExceptionOccurred() != nullptr)
        jniEnv->ExceptionClear();  // the lookup's own, not one of the exit call
    return method;
}

}  // namespace

MaybeFailure launchJavaApplication(const brolt::JavaRuntime& runtime, const brolt::LaunchSettings& settings,
                                   const std::vector<std::wstring>& arguments) {
    logInfo("launching program");
    LaunchContext context = brolt::makeLaunchContext(runtime, settings);
    if (MaybeFailure failed =
            createJavaVM(runtime.entryPoints, launcherProperties(context), arguments, context))
        return failed;
    logInfo("JVM created");
    if (MaybeFailure failed = callMain(arguments, context)) {
        if (!failed->isStop())
            logError("could not call main");
        return failed;
    }
    logInfo("launch done");
    return std::nullopt;
}

void stopJavaApplication() {
    if (jniEnv == nullptr)
        return;
    // Shutdown's exit first; System's only when Shutdown has none. Either one normally ends the process.
    bool shutdownCalled = false;
    bool called = false;
    for (const char* className : kExitClasses) {
        jclass exitClass = nullptr;
        jmethodID exit = findExitMethod(className, exitClass);
        if (exit == nullptr)
            continue;
        jniEnv->CallStaticVoidMethod(exitClass, exit, static_cast<jint>(0));
        shutdownCalled = className == kExitClasses[0];
        called = true;
        break;
    }
    if (!called || jniEnv->ExceptionOccurred() != nullptr) {
        // The VM stays as it is: destroying it would wait for the application's threads.
        if (called)
            jniEnv->ExceptionClear();
        logInfo("Could not call System.exit() %d", shutdownCalled ? 1 : 0);
        return;
    }
    javaVm->DestroyJavaVM();  // whatever it answers, the service stops now
}
