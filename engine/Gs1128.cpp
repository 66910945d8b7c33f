// GS1-128: a GS1 element string such as "(01)09501101530003(17)250101(10)AB12" (or with
// square brackets), each field checked against its application identifier, drawn as Code 128
// with FNC1 after the start and after every field whose length the AI does not fix.
#include "engine/Encoders.h"

namespace quillax::encoders {

namespace {

struct Element {
    std::string_view Ai;
    std::string_view Value;
    const Gs1Ai* Row;
};

[[noreturn]] void Refuse(const std::string& fault) {
    throw Exception("GS1-128: " + fault);
}

std::string Parenthesised(std::string_view ai) {
    std::string text;
    text.reserve(ai.size() + 2);
    text.append("(").append(ai).append(")");
    return text;
}

bool AllDigits(std::string_view s) {
    return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
}

// Where the next element begins after `from`: at the next "[" in the square-bracket form
// (the bracket is not a data character), at the next "(" that spells an AI with digits and
// ")" in the parentheses form, so that other parentheses stay data.
size_t NextElement(std::string_view text, size_t from, char open, char close) {
    for (size_t at = text.find(open, from); at != std::string_view::npos;
         at = text.find(open, at + 1)) {
        if (open == '[') return at;
        const size_t end = text.find(close, at + 1);
        if (end != std::string_view::npos && AllDigits(text.substr(at + 1, end - at - 1)))
            return at;
    }
    return text.size();
}

// The elements of the text in the order given, each AI known; the text must begin with one.
std::vector<Element> Elements(std::string_view text) {
    if (text.empty() || (text[0] != '(' && text[0] != '[')) Refuse("no application identifier");
    const char open = text[0];
    const char close = open == '(' ? ')' : ']';
    std::vector<Element> elements;
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find(close, at + 1);
        if (end == std::string_view::npos)
            Refuse(std::string("\"") + open + "\" without \"" + close + "\"");
        const std::string_view ai = text.substr(at + 1, end - at - 1);
        const Gs1Ai* row = AllDigits(ai) ? FindGs1Ai(ai) : nullptr;
        if (row == nullptr) Refuse("AI " + Parenthesised(ai) + " is not an application identifier");
        const size_t next = NextElement(text, end + 1, open, close);
        elements.push_back({ai, text.substr(end + 1, next - end - 1), row});
        at = next;
    }
    return elements;
}

} // namespace

// Text becomes the element string with the AIs in parentheses, the label as GS1 prints it.
// Checksum adds nothing: the check digits are part of the data, and verified.
TBuiltPattern EncodeGS1128(const TEncodeInput& in) {
    const std::vector<Element> elements = Elements(in.Text);
    std::vector<int> items{kCode128Fnc1};
    std::string label;
    for (size_t i = 0; i < elements.size(); ++i) {
        const Element& e = elements[i];
        if (std::string fault = Gs1FieldFault(*e.Row, e.Value); !fault.empty())
            Refuse("AI " + Parenthesised(e.Ai) + " " + fault);
        items.insert(items.end(), e.Ai.begin(), e.Ai.end());
        items.insert(items.end(), e.Value.begin(), e.Value.end()); // set 82: ASCII only
        if (!e.Row->Predefined && i + 1 < elements.size()) items.push_back(kCode128Fnc1);
        label += Parenthesised(e.Ai) + std::string(e.Value);
    }
    return {Code128Pattern(Code128ShortestValues(items)), label};
}

} // namespace quillax::encoders
