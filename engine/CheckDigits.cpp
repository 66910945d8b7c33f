// Check digits and check characters: GS1 modulo 10, the add-on digit, PostNet, MSI, Code 93,
// Code 128.
#include "engine/Encoders.h"

namespace quillax::encoders {

namespace {

// A single character read as a decimal number, as the runtime's integer conversion does.
int DigitValue(char c) {
    if (c < '0' || c > '9')
        throw EConvertError("'" + std::string(1, c) + "' is not a valid integer value");
    return c - '0';
}

} // namespace

std::string Mod10CheckDigit(std::string_view digits) {
    int sum = 0;
    int weight = 3; // the rightmost digit weighs 3
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        sum = (sum + DigitValue(*it) * weight) % 10;
        weight = 4 - weight;
    }
    const int check = sum == 0 ? 0 : 10 - sum;
    return std::string(digits) + static_cast<char>('0' + check);
}

std::string AddOnCheckDigit(std::string_view digits) {
    const std::string_view data = digits.substr(0, digits.empty() ? 0 : digits.size() - 1);
    int sum = 0;
    int weight = 3; // weights 3, 9, 3, ... from the right
    for (auto it = data.rbegin(); it != data.rend(); ++it) {
        sum = (sum + DigitValue(*it) * weight) % 10;
        weight = 12 - weight;
    }
    return std::string(data) + static_cast<char>('0' + sum);
}

int PostNetCheckDigit(std::string_view digits) {
    int sum = 0;
    for (char c : digits)
        sum = (sum + DigitValue(c)) % 10;
    return (10 - sum) % 10;
}

// Doubling the number formed by the odd-position digits and summing its digits equals
// summing the digits of each doubled digit, which no length can overflow.
int MsiCheckDigit(std::string_view digits) {
    int total = 0;
    bool odd = true; // position 1 is the rightmost digit
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        const int d = DigitValue(*it);
        total += odd ? (2 * d) / 10 + (2 * d) % 10 : d;
        total %= 10;
        odd = !odd;
    }
    return total == 0 ? 0 : 10 - total;
}

std::pair<int, int> Code93CheckValues(const std::vector<int>& values) {
    int c = 0;
    int k = 0;
    int position = 1; // the rightmost data character is 1
    for (auto it = values.rbegin(); it != values.rend(); ++it, ++position) {
        c = (c + *it * ((position - 1) % 20 + 1)) % 47;
        k = (k + *it * (position % 15 + 1)) % 47;
    }
    k = (k + c) % 47;
    return {c, k};
}

int Code128CheckValue(const std::vector<int>& values) {
    int sum = 0;
    for (size_t i = 0; i < values.size(); ++i)
        sum = static_cast<int>((sum + values[i] * static_cast<int64_t>(i == 0 ? 1 : i)) % 103);
    return sum;
}

} // namespace quillax::encoders
