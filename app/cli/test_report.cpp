#include "app/cli/test_report.h"

#include "platform/utf8.h"

#include <cstdio>

namespace tarvu::cli {
namespace {

// A TAP description: '#' would start a directive and '\' escapes, so both are escaped.
std::string TapDescription(const std::string& name) {
    std::string out;
    for (const char c : name) {
        if (c == '#' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out;
}

// A YAML double-quoted scalar.
std::string YamlString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds < 0 ? 0.0 : seconds);
    return text;
}

std::string FailureText(const TestResult& result) {
    std::string text = result.message;
    if (!result.expected.empty()) {
        text += "\nexpected: " + result.expected;
    }
    if (!result.got.empty()) {
        text += "\nreceived: " + result.got;
    }
    if (result.failedLine != 0) {
        text += "\nat: " + result.file + ":" + std::to_string(result.failedLine);
    }
    return text;
}

}  // namespace

std::string PlainResultLine(const TestResult& result) {
    switch (result.outcome) {
        case TestOutcome::kPassed:
            return "ok " + result.name + "\n";
        case TestOutcome::kSkipped:
            return "SKIP " + result.name + ": " + result.message + "\n";
        default:
            return "FAIL " + result.name + ": " + result.message + "\n";
    }
}

std::string TapHeader(size_t tests) {
    return "TAP version 14\n1.." + std::to_string(tests) + "\n";
}

std::string TapResult(size_t number, const TestResult& result) {
    const std::string description = std::to_string(number) + " - " + TapDescription(result.name);
    if (result.outcome == TestOutcome::kPassed) {
        return "ok " + description + "\n";
    }
    if (result.outcome == TestOutcome::kSkipped) {
        return "ok " + description + " # SKIP " + TapDescription(result.message) + "\n";
    }
    std::string out = "not ok " + description + "\n  ---\n";
    out += "  message: " + YamlString(result.message) + "\n";
    out += std::string("  severity: ") +
           (result.outcome == TestOutcome::kError ? "error" : "fail") + "\n";
    out += "  at:\n    file: " + YamlString(result.file) + "\n    line: " +
           std::to_string(result.failedLine != 0 ? result.failedLine : result.line) + "\n";
    if (!result.expected.empty()) {
        out += "  expected: " + YamlString(result.expected) + "\n";
    }
    if (result.outcome == TestOutcome::kFailed && !result.expected.empty()) {
        out += "  got: " + YamlString(result.got.empty() ? "nothing" : result.got) + "\n";
    }
    return out + "  ...\n";
}

std::string XmlEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            switch (text[i]) {
                case '&':
                    out += "&amp;";
                    break;
                case '<':
                    out += "&lt;";
                    break;
                case '>':
                    out += "&gt;";
                    break;
                case '"':
                    out += "&quot;";
                    break;
                case '\'':
                    out += "&apos;";
                    break;
                default:
                    if (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r') {
                        out += "\xEF\xBF\xBD";
                    } else {
                        out += text[i];
                    }
                    break;
            }
            ++i;
            continue;
        }
        const Utf8Sequence sequence = DecodeUtf8Sequence(std::string_view(text).substr(i));
        // U+FFFE and U+FFFF are not XML characters either.
        if (!sequence.valid || sequence.codePoint == 0xFFFE || sequence.codePoint == 0xFFFF) {
            out += "\xEF\xBF\xBD";
        } else {
            out.append(text, i, sequence.length);
        }
        i += sequence.length;
    }
    return out;
}

std::string JUnitDocument(const JUnitRun& run) {
    size_t failures = 0;
    size_t errors = 0;
    size_t skipped = 0;
    double seconds = 0;
    for (const TestResult& result : run.results) {
        failures += result.outcome == TestOutcome::kFailed;
        errors += result.outcome == TestOutcome::kError;
        skipped += result.outcome == TestOutcome::kSkipped;
        seconds += result.seconds;
    }
    std::string systemOut;
    // GitLab and Jenkins take [[ATTACHMENT|path]] lines as files that belong to the test.
    for (const std::string* file : {&run.logFile, &run.pcapFile}) {
        if (!file->empty()) {
            systemOut += "[[ATTACHMENT|" + XmlEscape(*file) + "]]\n";
        }
    }
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out += "<testsuites name=\"tarvu-cli run\" tests=\"" + std::to_string(run.results.size()) +
           "\" failures=\"" + std::to_string(failures) + "\" errors=\"" + std::to_string(errors) +
           "\" skipped=\"" + std::to_string(skipped) + "\" time=\"" + Seconds(seconds) + "\">\n";
    for (size_t id = 0; id < run.files.size(); ++id) {
        const std::string& file = run.files[id];
        std::string cases;
        size_t tests = 0;
        size_t suiteFailures = 0;
        size_t suiteErrors = 0;
        size_t suiteSkipped = 0;
        double suiteSeconds = 0;
        for (const TestResult& result : run.results) {
            if (result.suite != id) {
                continue;
            }
            ++tests;
            suiteSeconds += result.seconds;
            cases += "    <testcase name=\"" + XmlEscape(result.name) + "\" classname=\"" +
                     XmlEscape(file) + "\" time=\"" + Seconds(result.seconds) + "\"";
            std::string inner;
            switch (result.outcome) {
                case TestOutcome::kPassed:
                    break;
                case TestOutcome::kFailed:
                    ++suiteFailures;
                    inner += "      <failure message=\"" + XmlEscape(result.message) +
                             "\" type=\"expectation\">" + XmlEscape(FailureText(result)) +
                             "</failure>\n";
                    break;
                case TestOutcome::kError:
                    ++suiteErrors;
                    inner += "      <error message=\"" + XmlEscape(result.message) +
                             "\" type=\"link\">" + XmlEscape(FailureText(result)) + "</error>\n";
                    break;
                case TestOutcome::kSkipped:
                    ++suiteSkipped;
                    inner += "      <skipped message=\"" + XmlEscape(result.message) + "\"/>\n";
                    break;
            }
            if (!systemOut.empty()) {
                inner += "      <system-out>" + systemOut + "</system-out>\n";
            }
            cases += inner.empty() ? "/>\n" : ">\n" + inner + "    </testcase>\n";
        }
        out += "  <testsuite name=\"" + XmlEscape(file) + "\" tests=\"" + std::to_string(tests) +
               "\" failures=\"" + std::to_string(suiteFailures) + "\" errors=\"" +
               std::to_string(suiteErrors) + "\" skipped=\"" + std::to_string(suiteSkipped) +
               "\" time=\"" + Seconds(suiteSeconds) + "\" timestamp=\"" + XmlEscape(run.timestamp) +
               "\" id=\"" + std::to_string(id) + "\">\n";
        out += cases;
        if (!systemOut.empty()) {
            out += "    <system-out>" + systemOut + "</system-out>\n";
        }
        out += "  </testsuite>\n";
    }
    return out + "</testsuites>\n";
}

}  // namespace tarvu::cli
