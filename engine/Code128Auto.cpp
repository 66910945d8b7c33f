// Code 128 with automatic code sets: the shortest symbol for the data over code sets A, B and
// C with shifts and switches, and the bytes above 127 through FNC4.
#include "engine/Encoders.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>

namespace quillax::encoders {

namespace {

// Function symbols of Code 128 (ISO/IEC 15417 Table 1) by the code set they stand in.
enum CodeSet : uint8_t { SET_A, SET_B, SET_C };
constexpr int kSets = 3;
constexpr int kStart[kSets] = {103, 104, 105};   // Start A, B, C
constexpr int kSwitchTo[kSets] = {101, 100, 99}; // Code A, Code B, Code C
constexpr int kFnc4[kSets] = {101, 100, -1};     // FNC4 in A and B; code set C has none
constexpr int CODE_SHIFT = 98;                   // the next symbol in the other of A and B
constexpr int CODE_FNC1 = 102;                   // the same value in every code set

// A state: the code set in force and whether a double FNC4 has latched the bytes 128-255.
constexpr int kStates = 2 * kSets;
constexpr CodeSet SetOf(int state) {
    return static_cast<CodeSet>(state / 2);
}
constexpr bool ExtendedOf(int state) {
    return state % 2 != 0;
}
constexpr int StateOf(CodeSet set, bool extended) {
    return 2 * set + (extended ? 1 : 0);
}
// Ties go to code set B, then A, then C: the symbol a reader of the rules would expect.
constexpr int kStateOrder[kStates] = {2, 3, 0, 1, 4, 5};

// How a state was reached; stored with the state it came from.
enum Step : uint8_t {
    kStartStep,     // the start symbol
    kSwitch,        // Code A / B / C, at the same position
    kLatchExtended, // FNC4 FNC4 toggles the extended range, at the same position
    kPair,          // two digits in code set C
    kItem,          // one byte (FNC4 first when its range differs) or FNC1, in the set in force
    kShifted,       // FNC4 if needed, Shift, and one byte in the other of A and B
};
struct Arrival {
    Step How;
    uint8_t From;
};

constexpr int kUnreached = std::numeric_limits<int>::max() / 2;

bool IsDigit(int item) {
    return item >= '0' && item <= '9';
}

// The value of a byte's lower seven bits in code set A or B, or -1 when the set has none:
// A holds 32-95 as 0-63 and the controls 0-31 as 64-95, B holds 32-127 as 0-95.
int ValueIn(CodeSet set, int item) {
    const int base = item & 0x7F;
    if (set == SET_A) return base < 32 ? base + 64 : (base <= 95 ? base - 32 : -1);
    if (set == SET_B) return base >= 32 ? base - 32 : -1;
    return -1;
}

bool NeedsFnc4(int item, int state) {
    return item != kCode128Fnc1 && (item >= 128) != ExtendedOf(state);
}

CodeSet OtherOfAB(CodeSet set) {
    return set == SET_A ? SET_B : SET_A;
}

// The cheapest way into every state at every position, by dynamic programming over the
// items; costs are symbol characters. Rows of cost are kept for three positions only.
class ShortestPath {
public:
    explicit ShortestPath(std::span<const int> items)
        : items_(items), arrivals_((items.size() + 1) * kStates) {
        for (auto& row : cost_)
            row.fill(kUnreached);
        for (int set = 0; set < kSets; ++set)
            Reach(0, StateOf(static_cast<CodeSet>(set), false), 1, {kStartStep, 0});
        for (size_t i = 0; i <= items.size(); ++i) {
            SwitchesAt(i);
            if (i < items.size()) AdvanceFrom(i);
            if (i < items.size()) Row(i).fill(kUnreached); // becomes the row of i + 3
        }
    }

    // The symbol values along the cheapest path, start symbol first.
    std::vector<int> Values() const {
        const size_t n = items_.size();
        int state = kStateOrder[0];
        for (int s : kStateOrder)
            if (finalCost_[s] < finalCost_[state]) state = s;
        // Walk back to the start, each step's values reversed, then turn the whole around.
        std::vector<int> values;
        values.reserve(n + 2);
        for (size_t i = n;;) {
            const size_t before = values.size();
            Emit(i, state, values);
            std::reverse(values.begin() + static_cast<std::ptrdiff_t>(before), values.end());
            const Arrival a = ArrivalAt(i, state);
            if (a.How == kStartStep) break;
            i -= a.How == kPair ? 2 : (a.How == kItem || a.How == kShifted ? 1 : 0);
            state = a.From;
        }
        std::reverse(values.begin(), values.end());
        return values;
    }

private:
    std::array<int, kStates>& Row(size_t i) { return cost_[i % 3]; }
    Arrival& ArrivalAt(size_t i, int state) { return arrivals_[i * kStates + state]; }
    const Arrival& ArrivalAt(size_t i, int state) const { return arrivals_[i * kStates + state]; }

    void Reach(size_t i, int state, int cost, Arrival how) {
        if (cost >= Row(i)[state]) return;
        Row(i)[state] = cost;
        ArrivalAt(i, state) = how;
        if (i == items_.size()) finalCost_[state] = cost;
    }

    // Code set switches and the extended latch, repeated until nothing gets cheaper.
    void SwitchesAt(size_t i) {
        for (bool changed = true; changed;) {
            changed = false;
            for (int from : kStateOrder) {
                const int cost = Row(i)[from];
                if (cost >= kUnreached) continue;
                const CodeSet set = SetOf(from);
                for (int to = 0; to < kSets; ++to) {
                    const int state = StateOf(static_cast<CodeSet>(to), ExtendedOf(from));
                    if (to == set || cost + 1 >= Row(i)[state]) continue;
                    Reach(i, state, cost + 1, {kSwitch, static_cast<uint8_t>(from)});
                    changed = true;
                }
                const int toggled = StateOf(set, !ExtendedOf(from));
                if (set != SET_C && cost + 2 < Row(i)[toggled]) {
                    Reach(i, toggled, cost + 2, {kLatchExtended, static_cast<uint8_t>(from)});
                    changed = true;
                }
            }
        }
    }

    // One item (or a pair of digits) encoded in each state reached at position i.
    void AdvanceFrom(size_t i) {
        const int item = items_[i];
        for (int from : kStateOrder) {
            const int cost = Row(i)[from];
            if (cost >= kUnreached) continue;
            const auto origin = static_cast<uint8_t>(from);
            const CodeSet set = SetOf(from);
            if (item == kCode128Fnc1) {
                Reach(i + 1, from, cost + 1, {kItem, origin});
                continue;
            }
            if (set == SET_C) {
                if (i + 1 < items_.size() && IsDigit(item) && IsDigit(items_[i + 1]))
                    Reach(i + 2, from, cost + 1, {kPair, origin});
                continue;
            }
            const int fnc4 = NeedsFnc4(item, from) ? 1 : 0;
            if (ValueIn(set, item) >= 0) Reach(i + 1, from, cost + 1 + fnc4, {kItem, origin});
            if (ValueIn(OtherOfAB(set), item) >= 0)
                Reach(i + 1, from, cost + 2 + fnc4, {kShifted, origin});
        }
    }

    // The values of the step that reached `state` at position i.
    void Emit(size_t i, int state, std::vector<int>& values) const {
        const Arrival a = ArrivalAt(i, state);
        const CodeSet set = SetOf(a.From);
        switch (a.How) {
        case kStartStep:
            values.push_back(kStart[SetOf(state)]);
            break;
        case kSwitch:
            values.push_back(kSwitchTo[SetOf(state)]);
            break;
        case kLatchExtended:
            values.insert(values.end(), 2, kFnc4[set]);
            break;
        case kPair:
            values.push_back((items_[i - 2] - '0') * 10 + (items_[i - 1] - '0'));
            break;
        case kItem:
        case kShifted: {
            const int item = items_[i - 1];
            if (item == kCode128Fnc1) {
                values.push_back(CODE_FNC1);
                break;
            }
            if (NeedsFnc4(item, a.From)) values.push_back(kFnc4[set]);
            if (a.How == kShifted) values.push_back(CODE_SHIFT);
            values.push_back(ValueIn(a.How == kShifted ? OtherOfAB(set) : set, item));
            break;
        }
        }
    }

    std::span<const int> items_;
    std::array<std::array<int, kStates>, 3> cost_;
    std::array<int, kStates> finalCost_{kUnreached, kUnreached, kUnreached,
                                        kUnreached, kUnreached, kUnreached};
    std::vector<Arrival> arrivals_;
};

} // namespace

std::vector<int> Code128ShortestValues(std::span<const int> items) {
    return ShortestPath(items).Values();
}

// Every byte has a place (the controls in A, DEL in B, 128-255 through FNC4), so no data is
// refused; Text stays as given and is the label.
TBuiltPattern EncodeCode128Auto(const TEncodeInput& in) {
    std::vector<int> items;
    items.reserve(in.Text.size());
    for (char c : in.Text)
        items.push_back(static_cast<unsigned char>(c));
    return {Code128Pattern(Code128ShortestValues(items)), in.Text};
}

} // namespace quillax::encoders
