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
#include "launch/class_data_sharing.h"
#include "launch/launch_context.h"
#include "launch/split.h"
#include "launch/vm_options.h"
#include "launch/vm_option_rules.h"
#include "launch/vm_output.h"

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
// The option strings the VM knows its hooks by.
constexpr const char* kPrintHookOption = "vfprintf";
constexpr const char* kExitHookOption = "exit";
constexpr const char* kAbortHookOption = "abort";
// What an exception's text is read with: its trace as printStackTrace prints it, else its toString.
constexpr const char* kThrowableClass = "java/lang/Throwable";
constexpr const char* kStringWriterClass = "java/io/StringWriter";
constexpr const char* kPrintWriterClass = "java/io/PrintWriter";
constexpr const char* kConstructor = "<init>";
// Internal error codes shown with message 1009.
constexpr const char* kCodeFirstRunClassMissing = "14";
constexpr const char* kCodeFirstRunMethodMissing = "15";

// Set when the VM is created; used again by the stop on the same thread. The option strings and their
// array stay until the process ends, since the VM may keep pointers into them.
JavaVM* javaVm = nullptr;
JNIEnv* jniEnv = nullptr;
std::vector<std::string> optionTexts;
std::vector<JavaVMOption> vmOptions;
// The service runtime's hooks, called by the launch's own; written before the VM exists.
brolt::LaunchHooks serviceHooks;

// The VM ends the process: what it printed and the launch kept goes out before the service runtime
// reports the end.
void JNICALL launchExitHook(jint code) {
    brolt::releaseVmOutput(false);
    // The VM has written its archive by now; the service reports its stop only after.
    brolt::finishClassDataSharing();
    if (serviceHooks.vmExit != nullptr)
        serviceHooks.vmExit(code);
}

void JNICALL launchAbortHook() {
    brolt::releaseVmOutput(false);
    if (serviceHooks.vmAbort != nullptr)
        serviceHooks.vmAbort();
}

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
    const brolt::OutputRotation& rotation = context.settings.rotation;
    if (rotation.bytes > 0) {
        properties.push_back(property("brolt.output.rotateBytes", std::to_string(rotation.bytes)));
        properties.push_back(property("brolt.output.keep", std::to_string(rotation.keep)));
    }
    return properties;
}

MaybeFailure createJavaVM(const brolt::JavaRuntime& runtime, const std::vector<std::string>& properties,
                          const std::vector<std::wstring>& arguments, const LaunchContext& context) {
    if (MaybeFailure failed = brolt::assembleVmOptions(properties, arguments, context, optionTexts))
        return failed;
    // In front, so what the user's own options say about the VM's logging comes later and applies.
    std::vector<std::string> sharing =
        brolt::prepareClassDataSharing(context, runtime.javaExePath, runtime.version, optionTexts);
    for (const std::string& option : sharing)
        logInfo("vmoption (class data sharing): %s", option.c_str());
    optionTexts.insert(optionTexts.begin(), sharing.begin(), sharing.end());
    const brolt::JavaVmEntryPoints& entryPoints = runtime.entryPoints;
    vmOptions.clear();
    for (std::string& text : optionTexts)
        vmOptions.push_back({text.data(), nullptr});
    // The hooks come after the composed list, so its order and numbering stay as they are.
    serviceHooks = context.settings.hooks;
    vmOptions.push_back({const_cast<char*>(kPrintHookOption), reinterpret_cast<void*>(brolt::vmPrintHook)});
    vmOptions.push_back({const_cast<char*>(kExitHookOption), reinterpret_cast<void*>(launchExitHook)});
    vmOptions.push_back({const_cast<char*>(kAbortHookOption), reinterpret_cast<void*>(launchAbortHook)});
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

// Clears an exception that a step of reading another one's text left; answers whether there was one.
bool stepFailed() {
    if (jniEnv->ExceptionCheck() != JNI_TRUE)
        return false;
    jniEnv->ExceptionClear();
    return true;
}

// A Java string's text in the ANSI code page, as the VM prints; empty when it cannot be read.
std::string javaText(jobject string) {
    if (string == nullptr)
        return {};
    jstring text = static_cast<jstring>(string);
    jsize length = jniEnv->GetStringLength(text);
    const jchar* characters = jniEnv->GetStringChars(text, nullptr);
    if (characters == nullptr) {
        stepFailed();
        return {};
    }
    std::wstring wide(reinterpret_cast<const wchar_t*>(characters), static_cast<size_t>(length));
    jniEnv->ReleaseStringChars(text, characters);
    return toAnsiCodePage(wide);
}

// The thrown object's trace as printStackTrace prints it, written into a StringWriter; empty when a
// step fails.
std::string stackTraceText(jthrowable thrown) {
    jclass stringWriter = jniEnv->FindClass(kStringWriterClass);
    jclass printWriter = stringWriter != nullptr ? jniEnv->FindClass(kPrintWriterClass) : nullptr;
    jclass throwable = printWriter != nullptr ? jniEnv->FindClass(kThrowableClass) : nullptr;
    if (throwable == nullptr) {
        stepFailed();
        return {};
    }
    jmethodID newStringWriter = jniEnv->GetMethodID(stringWriter, kConstructor, "()V");
    jmethodID newPrintWriter = jniEnv->GetMethodID(printWriter, kConstructor, "(Ljava/io/Writer;)V");
    jmethodID printStackTrace = jniEnv->GetMethodID(throwable, "printStackTrace", "(Ljava/io/PrintWriter;)V");
    jmethodID flush = jniEnv->GetMethodID(printWriter, "flush", "()V");
    jmethodID toString = jniEnv->GetMethodID(stringWriter, "toString", "()Ljava/lang/String;");
    if (newStringWriter == nullptr || newPrintWriter == nullptr || printStackTrace == nullptr ||
        flush == nullptr || toString == nullptr) {
        stepFailed();
        return {};
    }
    jobject buffer = jniEnv->NewObject(stringWriter, newStringWriter);
    jobject writer = buffer != nullptr ? jniEnv->NewObject(printWriter, newPrintWriter, buffer) : nullptr;
    if (writer == nullptr || stepFailed())
        return {};
    jniEnv->CallVoidMethod(thrown, printStackTrace, writer);
    jniEnv->CallVoidMethod(writer, flush);
    if (stepFailed())
        return {};
    jobject text = jniEnv->CallObjectMethod(buffer, toString);
    return stepFailed() ? std::string() : javaText(text);
}

// The thrown object's toString, a line of its own; empty when a step fails.
std::string toStringText(jthrowable thrown) {
    jclass throwable = jniEnv->FindClass(kThrowableClass);
    jmethodID toString =
        throwable != nullptr ? jniEnv->GetMethodID(throwable, "toString", "()Ljava/lang/String;") : nullptr;
    if (toString == nullptr) {
        stepFailed();
        return {};
    }
    jobject text = jniEnv->CallObjectMethod(thrown, toString);
    std::string line = stepFailed() ? std::string() : javaText(text);
    return line.empty() ? line : line + "\n";
}

// The exception a Java call left goes where the VM's own output goes, and is cleared; answers its text.
// Should that be out of reach, the VM describes it itself, on the process's standard error.
std::string reportException() {
    jthrowable thrown = jniEnv->ExceptionOccurred();
    if (thrown == nullptr)
        return {};
    jniEnv->ExceptionClear();
    std::string text = stackTraceText(thrown);
    if (text.empty())
        text = toStringText(thrown);
    if (text.empty()) {
        jniEnv->Throw(thrown);
        jniEnv->ExceptionDescribe();
        return {};
    }
    brolt::writeVmOutput(text);
    return text;
}

// A launch that failed on an exception: its first line (what toString says) tells an operator why.
Failure exceptionFailure(const std::string& text) {
    Failure failed = brolt::silentFailure();
    failed.detail = text.substr(0, text.find_first_of("\r\n"));
    return failed;
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
        reportException();
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

// Tells the service runtime of a step; the answer is whether to go on.
bool reached(const LaunchContext& context, brolt::LaunchStep step) {
    return context.settings.hooks.reached == nullptr || context.settings.hooks.reached(step);
}

MaybeFailure callMain(const std::vector<std::wstring>& arguments, const LaunchContext& context) {
    if (context.settings.launcherKind == 'q') {
        bool goOn = true;
        if (MaybeFailure failed = checkFirstRun(context, goOn))
            return failed;
        if (!goOn) {
            logInfo("checkFirstRun stopped further execution");
            reached(context, brolt::LaunchStep::FirstRunEnded);
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
        return exceptionFailure(reportException());
    }
    if (!reached(context, brolt::LaunchStep::CallingMain)) {
        logInfo("stop requested during the start: main not called");
        return brolt::stopBeforeMain();
    }
    logInfo("calling main");
    jniEnv->CallStaticVoidMethod(runtimeClass, main, array);
    logInfo("main returned");
    // The Java side has opened the standard-error file by now; what was kept goes behind.
    brolt::releaseVmOutput(true);
    if (jniEnv->ExceptionOccurred() != nullptr) {
        logError("an exception occured");
        return exceptionFailure(reportException());
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
    brolt::openVmOutput(redirectionFile(settings.stderrFile, context), settings.mainParameterFlag,
                        reinterpret_cast<const void*>(runtime.entryPoints.createJavaVM));
    reached(context, brolt::LaunchStep::CreatingVm);
    MaybeFailure failed = createJavaVM(runtime, launcherProperties(context), arguments, context);
    if (!failed) {
        logInfo("JVM created");
        reached(context, brolt::LaunchStep::VmCreated);
        failed = callMain(arguments, context);
        if (!failed)
            logInfo("launch done");
        else if (!failed->isStop())
            logError("could not call main");
    }
    // When main ran, what was kept is out already; otherwise the Java side never opens the file.
    brolt::releaseVmOutput(false);
    return failed;
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
    brolt::finishClassDataSharing();
}
