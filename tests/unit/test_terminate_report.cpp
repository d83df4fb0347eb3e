// The report written when the C++ runtime ends the launcher, against the standard library's own.
#include "core/terminate_report.h"

#include <cxxabi.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <variant>
#include <vector>

#include "scratch_directory.h"
#include "stream_fixture.h"

namespace {

// What the standard library's demangler (the one the launcher leaves out) makes of a type's name.
std::string demangled(const std::type_info& type) {
    int status = -1;
    std::unique_ptr<char, decltype(&std::free)> name(
        abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), &std::free);
    return status == 0 ? std::string(name.get()) : std::string("(not demangled) ") + type.name();
}

struct NotAnException {};
struct OwnFailure : std::runtime_error {
    OwnFailure() : std::runtime_error("own failure") {}
};

TEST(ReadableTypeName, EveryStandardExceptionReadsAsTheLibraryDemanglesIt) {
    const std::type_info* types[] = {
        &typeid(std::exception),          &typeid(std::bad_exception),
        &typeid(std::bad_alloc),          &typeid(std::bad_array_new_length),
        &typeid(std::bad_cast),           &typeid(std::bad_typeid),
        &typeid(std::bad_function_call),  &typeid(std::bad_optional_access),
        &typeid(std::bad_variant_access), &typeid(std::logic_error),
        &typeid(std::domain_error),       &typeid(std::invalid_argument),
        &typeid(std::length_error),       &typeid(std::out_of_range),
        &typeid(std::runtime_error),      &typeid(std::range_error),
        &typeid(std::overflow_error),     &typeid(std::underflow_error),
        &typeid(std::system_error),
    };
    for (const std::type_info* type : types)
        EXPECT_EQ(demangled(*type), brolt::readableTypeName(*type)) << type->name();
}

TEST(ReadableTypeName, AnyOtherTypeKeepsItsStoredName) {
    EXPECT_STREQ(typeid(NotAnException).name(), brolt::readableTypeName(typeid(NotAnException)));
    EXPECT_STREQ(typeid(OwnFailure).name(), brolt::readableTypeName(typeid(OwnFailure)));
    EXPECT_STREQ(typeid(int).name(), brolt::readableTypeName(typeid(int)));
}

// The report written while the exception thrown by fail is being handled; with a null fail, while none is.
std::string reportFor(const fixture::ScratchDirectory& scratch, const std::function<void()>& fail) {
    const std::string path = scratch / "report.txt";
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr)
        return "(report file not opened)";
    if (fail) {
        try {
            fail();
            std::fclose(out);
            return "(nothing thrown)";
        } catch (...) {
            brolt::writeTerminateReport(out);
        }
    } else {
        brolt::writeTerminateReport(out);
    }
    std::fclose(out);
    return fixture::readFile(path);
}

TEST(TerminateReport, SaysWhatTheStandardLibrarysReportSays) {
    struct Case {
        const char* what;
        std::function<void()> fail;
        std::string report;
    };
    const std::string thrown = "terminate called after throwing an instance of '";
    const Case cases[] = {
        {"no exception in flight", nullptr, "terminate called without an active exception\n"},
        {"out of memory", [] { throw std::bad_alloc(); },
         thrown + "std::bad_alloc'\n  what():  std::bad_alloc\n"},
        {"a string grown past its limit",
         [] {
             std::string text;
             text.reserve(text.max_size() + 1);
         },
         thrown + "std::length_error'\n  what():  basic_string::_M_create\n"},
        {"an index past the end of a vector", [] { std::vector<int>().at(3); },
         thrown + "std::out_of_range'\n  what():  vector::_M_range_check: __n (which is 3) >= this->size() " +
             "(which is 0)\n"},
        {"an empty function called", [] { std::function<void()>()(); },
         thrown + "std::bad_function_call'\n  what():  bad_function_call\n"},
        {"a system call's failure",
         [] { throw std::system_error(std::make_error_code(std::errc::resource_deadlock_would_occur)); },
         thrown + "std::system_error'\n  what():  Resource deadlock avoided\n"},
        {"a type of no library, derived from std::exception", [] { throw OwnFailure(); },
         thrown + typeid(OwnFailure).name() + "'\n  what():  own failure\n"},
        {"a type of no library, no std::exception", [] { throw NotAnException(); },
         thrown + typeid(NotAnException).name() + "'\n"},
    };
    fixture::ScratchDirectory scratch;
    for (const auto& c : cases)
        EXPECT_EQ(c.report, reportFor(scratch, c.fail)) << c.what;
}

}  // namespace
