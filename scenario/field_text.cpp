#include "scenario/field_text.h"

#include <array>

namespace tarvu::scenario {
namespace {

struct NamedField {
    std::string_view text;
    FieldName name;
};

constexpr std::array<NamedField, 6> kFieldNames = {{{"dev", FieldName::kDevice},
                                                    {"addr2", FieldName::kSecond},
                                                    {"type", FieldName::kType},
                                                    {"qual", FieldName::kQualifier},
                                                    {"code", FieldName::kCode},
                                                    {"body", FieldName::kBody}}};

}  // namespace

bool LooksLikeField(const Token& token) {
    const size_t equals = token.text.find('=');
    return !token.quoted && equals != std::string_view::npos && equals > 0;
}

bool SplitFields(const SourceLine& line, size_t first, size_t last, std::vector<FieldText>& fields,
                 Failure& failure) {
    size_t i = first;
    while (i < last) {
        const Token& token = line.tokens[i];
        if (!LooksLikeField(token)) {
            failure = {token.offset, token.text.size(),
                       "a field is NAME=VALUE (dev, addr2, type, qual, code, body)"};
            return false;
        }
        const size_t equals = token.text.find('=');
        const std::string_view name = token.text.substr(0, equals);
        const NamedField* known = nullptr;
        for (const NamedField& candidate : kFieldNames) {
            if (candidate.text == name) {
                known = &candidate;
            }
        }
        if (known == nullptr) {
            failure = {token.offset, equals,
                       "unknown field; the fields are dev, addr2, type, qual, code and body"};
            return false;
        }
        for (const FieldText& earlier : fields) {
            if (earlier.name == known->name) {
                failure = {token.offset, equals, "the field is given twice"};
                return false;
            }
        }
        size_t end = i + 1;
        while (end < last && !LooksLikeField(line.tokens[end])) {
            ++end;
        }
        if (end > i + 1 && known->name != FieldName::kBody) {
            const Token& extra = line.tokens[i + 1];
            failure = {extra.offset, extra.text.size(),
                       "one word per field; only body= takes several bytes"};
            return false;
        }
        FieldText field;
        field.name = known->name;
        field.nameOffset = token.offset;
        field.valueOffset = token.offset + equals + 1;
        field.value =
            line.text.substr(field.valueOffset, line.tokens[end - 1].End() - field.valueOffset);
        if (field.value.empty()) {
            failure = {token.offset, token.text.size(), "the field has no value"};
            return false;
        }
        fields.push_back(field);
        i = end;
    }
    return true;
}

}  // namespace tarvu::scenario
