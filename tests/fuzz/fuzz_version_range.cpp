// Version comparison on arbitrary texts: the input is "version\nminimum\nmaximum". Checks that the
// order is total and consistent, that verdicts carry a reason exactly when they reject, and that texts
// which all begin with "1." keep the C library's byte-wise answer.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "jvm/version_rules.h"

namespace jvm = brolt::jvm;
using fuzz::require;

namespace {

int sign(int value) {
    return (value > 0) - (value < 0);
}

bool legacy(const std::string& text) {
    return text.rfind("1.", 0) == 0 && text.find('\0') == std::string::npos;
}

void checkVerdict(const jvm::Verdict& verdict) {
    require(verdict.accepted == verdict.reason.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string parts[3];
    for (int i = 0; i < 3; ++i) {
        size_t end = input.find('\n');
        parts[i] = std::string(input.substr(0, end));
        input = end == std::string_view::npos ? std::string_view() : input.substr(end + 1);
    }
    const std::string& version = parts[0];
    jvm::VersionRange range{parts[1], parts[2], false};

    jvm::Verdict inRange = jvm::versionInRange(version, range, false);
    jvm::Verdict skipping = jvm::versionInRange(version, range, true);
    jvm::Verdict key = jvm::versionKeyInRange(version, range);
    checkVerdict(inRange);
    checkVerdict(skipping);
    checkVerdict(key);
    require(!inRange.accepted || skipping.accepted);
    require(jvm::isPrerelease(version) || inRange.accepted == skipping.accepted);
    // A marker is a part of its own: a vendor part added after the text changes nothing, a marker
    // part added always makes a pre-release.
    require(jvm::isPrerelease(version + "-release") == jvm::isPrerelease(version));
    require(jvm::isPrerelease(version + "-ea") || version.find('\0') != std::string::npos);

    // An empty bound passes under either rule.
    auto legacyOrEmpty = [](const std::string& bound) { return bound.empty() || legacy(bound); };
    if (legacy(version) && legacyOrEmpty(range.minimum) && legacyOrEmpty(range.maximum)) {
        bool bytewise = strncmp(version.c_str(), range.minimum.c_str(), range.minimum.size()) >= 0 &&
                        strncmp(version.c_str(), range.maximum.c_str(), range.maximum.size()) <= 0;
        require(skipping.accepted == bytewise);
    }

    // The order picks the greatest of many texts, so it must be a strict total order.
    const std::string& a = parts[0];
    const std::string& b = parts[1];
    const std::string& c = parts[2];
    int ab = sign(jvm::compareVersions(a, b));
    int bc = sign(jvm::compareVersions(b, c));
    int ac = sign(jvm::compareVersions(a, c));
    require(jvm::compareVersions(a, a) == 0);
    require(ab == -sign(jvm::compareVersions(b, a)));
    if (ab < 0 && bc < 0)
        require(ac < 0);
    if (ab == 0 && bc == 0)
        require(ac == 0);
    if (legacy(a) && legacy(b))
        require(ab == sign(strcmp(a.c_str(), b.c_str())));
    return 0;
}
