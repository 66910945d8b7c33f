// GS1 application identifiers: the table of every AI with the format of its data field, and
// one field checked against it (lengths, character sets, check digits, dates and times).
#include "engine/Encoders.h"

#include <array>
#include <cstdio>

namespace quillax::encoders {

namespace {

// The application identifiers of the GS1 General Specifications (section 3, "GS1 Application
// Identifiers"), in the machine-readable form GS1 publishes as the GS1 Barcode Syntax
// Dictionary, state of 2025 (with AI 03, 716, 7041, 7250-7259 and 8014).
//
// A row covers the AIs First to Last. Predefined: the AI's first two digits fix the field's
// length (00-03, 11-20, 31-36, 41), so no FNC1 follows it. Point: the AI has a fourth digit,
// the decimal point's position, from 0 to Point. Format: space-separated components, each a type
// and a length, then
// ",check" names; a component in brackets is optional (present while data remains).
//   N digits, X set 82, Y set 39, Z set 64 (base64url); "N6" exactly 6, "X..20" 1 to 20.
//   csum GS1 modulo-10 check digit; csumalpha check character pair; yymmd0 date, day 00
//   allowed; yymmdd, yyyymmdd dates; hhmi hour and minute; hh, mi, ss one of them.
// Content checks beyond these (country and currency codes, IBAN, percent-encoding, coupon
// structure, the company prefix within a key, which AIs go together) are not applied.
constexpr Gs1Ai kApplicationIdentifiers[] = {
    {"00", "00", true, "N18,csum"},            // SSCC
    {"01", "03", true, "N14,csum"},            // GTIN, CONTENT, MTO GTIN
    {"10", "10", false, "X..20"},              // BATCH/LOT
    {"11", "13", true, "N6,yymmd0"},           // PROD DATE, DUE DATE, PACK DATE
    {"15", "17", true, "N6,yymmd0"},           // BEST BEFORE, SELL BY, USE BY / EXPIRY
    {"20", "20", true, "N2"},                  // VARIANT
    {"21", "22", false, "X..20"},              // SERIAL, CPV
    {"235", "235", false, "X..28"},            // TPX
    {"240", "241", false, "X..30"},            // ADDITIONAL ID, CUST. PART No.
    {"242", "242", false, "N..6"},             // MTO VARIANT
    {"243", "243", false, "X..20"},            // PCN
    {"250", "251", false, "X..30"},            // SECONDARY SERIAL, REF. TO SOURCE
    {"253", "253", false, "N13,csum [X..17]"}, // GDTI
    {"254", "254", false, "X..20"},            // GLN EXTENSION COMPONENT
    {"255", "255", false, "N13,csum [N..12]"}, // GCN
    {"30", "30", false, "N..8"},               // VAR. COUNT
    // Measures and amounts: the fourth digit is the decimal point's position (0 to Point)
    {"310", "316", true, "N6", 5},                   // NET WEIGHT (kg) ... NET VOLUME (m3)
    {"320", "329", true, "N6", 5},                   // NET WEIGHT (lb) ... HEIGHT (yd)
    {"330", "337", true, "N6", 5},                   // GROSS WEIGHT (kg) ... KG PER m2
    {"340", "349", true, "N6", 5},                   // GROSS WEIGHT (lb) ... HEIGHT (yd), log
    {"350", "357", true, "N6", 5},                   // AREA (in2) ... NET VOLUME (oz)
    {"360", "369", true, "N6", 5},                   // NET VOLUME (qt) ... VOLUME (yd3), log
    {"37", "37", false, "N..8"},                     // COUNT
    {"390", "390", false, "N..15", 9},               // AMOUNT
    {"391", "391", false, "N3 N..15", 9},            // AMOUNT with currency
    {"392", "392", false, "N..15", 9},               // PRICE
    {"393", "393", false, "N3 N..15", 9},            // PRICE with currency
    {"394", "394", false, "N4", 3},                  // PRCNT OFF
    {"395", "395", false, "N6", 5},                  // PRICE/UoM
    {"400", "400", false, "X..30"},                  // ORDER NUMBER
    {"401", "401", false, "X..30"},                  // GINC
    {"402", "402", false, "N17,csum"},               // GSIN
    {"403", "403", false, "X..30"},                  // ROUTE
    {"410", "417", true, "N13,csum"},                // GLNs: SHIP TO LOC ... PARTY
    {"420", "420", false, "X..20"},                  // SHIP TO POST
    {"421", "421", false, "N3 X..9"},                // SHIP TO POST with country
    {"422", "422", false, "N3"},                     // ORIGIN
    {"423", "423", false, "N3 [N3] [N3] [N3] [N3]"}, // COUNTRY - INITIAL PROCESS
    {"424", "424", false, "N3"},                     // COUNTRY - PROCESS
    {"425", "425", false, "N3 [N3] [N3] [N3] [N3]"}, // COUNTRY - DISASSEMBLY
    {"426", "426", false, "N3"},                     // COUNTRY - FULL PROCESS
    {"427", "427", false, "X..3"},                   // ORIGIN SUBDIVISION
    {"4300", "4301", false, "X..35"},                // SHIP TO COMP, NAME
    {"4302", "4306", false, "X..70"},                // SHIP TO ADD1 ... REG
    {"4307", "4307", false, "X2"},                   // SHIP TO COUNTRY
    {"4308", "4308", false, "X..30"},                // SHIP TO PHONE
    {"4309", "4309", false, "N10 N10"},              // SHIP TO GEO
    {"4310", "4311", false, "X..35"},                // RTN TO COMP, NAME
    {"4312", "4316", false, "X..70"},                // RTN TO ADD1 ... REG
    {"4317", "4317", false, "X2"},                   // RTN TO COUNTRY
    {"4318", "4318", false, "X..20"},                // RTN TO POST
    {"4319", "4319", false, "X..30"},                // RTN TO PHONE
    {"4320", "4320", false, "X..35"},                // SRV DESCRIPTION
    {"4321", "4323", false, "N1"},                   // DANGEROUS GOODS, AUTH TO LEAVE, SIG REQUIRED
    {"4324", "4325", false, "N6,yymmd0 N4,hhmi"},    // NOT BEF / NOT AFT DEL DT
    {"4326", "4326", false, "N6,yymmdd"},            // REL DATE
    {"4330", "4333", false, "N6 [X1]"},              // MAX / MIN TEMP F. / C.
    {"7001", "7001", false, "N13"},                  // NSN
    {"7002", "7002", false, "X..30"},                // MEAT CUT
    {"7003", "7003", false, "N6,yymmdd N4,hhmi"},    // EXPIRY TIME
    {"7004", "7004", false, "N..4"},                 // ACTIVE POTENCY
    {"7005", "7005", false, "X..12"},                // CATCH AREA
    {"7006", "7006", false, "N6,yymmdd"},            // FIRST FREEZE DATE
    {"7007", "7007", false, "N6,yymmdd [N6,yymmdd]"}, // HARVEST DATE
    {"7008", "7008", false, "X..3"},                  // AQUATIC SPECIES
    {"7009", "7009", false, "X..10"},                 // FISHING GEAR TYPE
    {"7010", "7010", false, "X..2"},                  // PROD METHOD
    {"7011", "7011", false, "N6,yymmdd [N4,hhmi]"},   // TEST BY DATE
    {"7020", "7022", false, "X..20"},                 // REFURB LOT, FUNC STAT, REV STAT
    {"7023", "7023", false, "X..30"},                 // GIAI - ASSEMBLY
    {"7030", "7039", false, "N3 X..27"},              // PROCESSOR # 0-9
    {"7040", "7040", false, "N1 X1 X1 X1"},           // UIC+EXT
    {"7041", "7041", false, "X..4"},                  // UFRGT UNIT TYPE
    {"710", "716", false, "X..20"},                   // NHRN PZN, CIP, CN, DRN, AIM, NDC, AIC
    {"7230", "7239", false, "X2 X..28"},              // CERT # 1-10
    {"7240", "7240", false, "X..20"},                 // PROTOCOL
    {"7241", "7241", false, "N2"},                    // AIDC MEDIA TYPE
    {"7242", "7242", false, "X..25"},                 // VCN
    {"7250", "7250", false, "N8,yyyymmdd"},           // DOB
    {"7251", "7251", false, "N8,yyyymmdd N4,hhmi"},   // DOB TIME
    {"7252", "7252", false, "N1"},                    // BIO SEX
    {"7253", "7254", false, "X..40"},                 // FAMILY NAME, GIVEN NAME
    {"7255", "7255", false, "X..10"},                 // SUFFIX
    {"7256", "7256", false, "X..90"},                 // FULL NAME
    {"7257", "7257", false, "X..70"},                 // PERSON ADDR
    {"7258", "7258", false, "X3"},                    // BIRTH SEQUENCE
    {"7259", "7259", false, "X..40"},                 // BABY
    {"8001", "8001", false, "N4 N5 N3 N1 N1"},        // DIMENSIONS
    {"8002", "8002", false, "X..20"},                 // CMT No.
    {"8003", "8003", false, "N1 N13,csum [X..16]"},   // GRAI
    {"8004", "8004", false, "X..30"},                 // GIAI
    {"8005", "8005", false, "N6"},                    // PRICE PER UNIT
    {"8006", "8006", false, "N14,csum N4"},           // ITIP
    {"8007", "8007", false, "X..34"},                 // IBAN
    {"8008", "8008", false, "N6,yymmdd N2,hh [N2,mi] [N2,ss]"}, // PROD TIME
    {"8009", "8009", false, "X..50"},                           // OPTSEN
    {"8010", "8010", false, "Y..30"},                           // CPID
    {"8011", "8011", false, "N..12"},                           // CPID SERIAL
    {"8012", "8012", false, "X..20"},                           // VERSION
    {"8013", "8014", false, "X..25,csumalpha"},                 // GMN, MUDI
    {"8017", "8018", false, "N18,csum"},                        // GSRN - PROVIDER, RECIPIENT
    {"8019", "8019", false, "N..10"},                           // SRIN
    {"8020", "8020", false, "X..25"},                           // REF No.
    {"8026", "8026", false, "N14,csum N4"},                     // ITIP CONTENT
    {"8030", "8030", false, "Z..90"},                           // DIGSIG
    {"8110", "8110", false, "X..70"},                           // coupon code
    {"8111", "8111", false, "N4"},                              // POINTS
    {"8112", "8112", false, "X..70"},                           // paperless coupon
    {"8200", "8200", false, "X..70"},                           // PRODUCT URL
    {"90", "90", false, "X..30"},                               // INTERNAL
    {"91", "99", false, "X..90"},                               // INTERNAL
};

// GS1 character sets 82 (the AI data characters), 39 and 64; 32 holds the check characters
// of csumalpha, each character's value being its position.
constexpr std::string_view kSet82 =
    "!\"%&'()*+,-./0123456789:;<=>?ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz";
constexpr std::string_view kSet39 = "#-/0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr std::string_view kSet64 =
    "-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz";
constexpr std::string_view kSet32 = "23456789ABCDEFGHJKLMNPQRSTUVWXYZ";
static_assert(kSet82.size() == 82 && kSet39.size() == 39 && kSet64.size() == 64 &&
              kSet32.size() == 32);

// Weights of the csumalpha sum: the primes, the rightmost data character weighing 2.
constexpr int kPrimes[] = {2,  3,  5,  7,  11, 13, 17, 19, 23, 29, 31, 37,
                           41, 43, 47, 53, 59, 61, 67, 71, 73, 79, 83, 89};

std::string Number(int value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*d", digits, value);
    return text;
}

int TwoDigits(std::string_view s, size_t at) {
    return (s[at] - '0') * 10 + (s[at + 1] - '0');
}

// A character for a message: printable ASCII in quotes, anything else as its code.
std::string Shown(char c) {
    const auto code = static_cast<unsigned char>(c);
    if (code > 32 && code < 127) return std::string("\"") + c + "\"";
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", code);
    return hex;
}

// Base64url's padding: one or two "=" that end the data.
bool IsPadding(std::string_view data, size_t at) {
    return data[at] == '=' && data.size() - at <= 2 &&
           data.find_first_not_of('=', at) == std::string_view::npos;
}

// The fault of a character outside the component's set, or "".
std::string CharacterFault(char type, std::string_view data) {
    for (size_t i = 0; i < data.size(); ++i) {
        const char c = data[i];
        switch (type) {
        case 'N':
            if (c < '0' || c > '9') return "character " + Shown(c) + " is not a digit";
            break;
        case 'Y':
            if (kSet39.find(c) == std::string_view::npos)
                return "character " + Shown(c) + " is not in set 39";
            break;
        case 'Z': // base64url
            if (kSet64.find(c) == std::string_view::npos && !IsPadding(data, i))
                return "character " + Shown(c) + " is not in set 64";
            break;
        default:
            if (kSet82.find(c) == std::string_view::npos)
                return "character " + Shown(c) + " is not in set 82";
        }
    }
    return {};
}

std::string CheckDigitFault(std::string_view digits) {
    const char expected = Mod10CheckDigit(digits.substr(0, digits.size() - 1)).back();
    if (digits.back() == expected) return {};
    return std::string("check digit ") + digits.back() + " is wrong, " + expected + " expected";
}

std::string CheckPairFault(std::string_view data) {
    if (data.size() < 2) return "check characters are missing";
    const std::string_view body = data.substr(0, data.size() - 2);
    if (body.size() > std::size(kPrimes)) return "is too long for its check characters";
    int sum = 0;
    for (size_t i = 0; i < body.size(); ++i)
        sum += static_cast<int>(kSet82.find(body[i])) * kPrimes[body.size() - 1 - i];
    sum %= 1021;
    const std::string expected{kSet32[sum / 32], kSet32[sum % 32]};
    if (data.substr(data.size() - 2) == expected) return {};
    return "check characters " + std::string(data.substr(data.size() - 2)) + " are wrong, " +
           expected + " expected";
}

// A two-digit year stands for a year in GS1's window of about fifty years either side of
// today, where every fourth year is a leap year; 00 counts as 2000.
int DaysIn(int month, int year) {
    constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    return month == 2 && leap ? 29 : kDays[month - 1];
}

std::string DateFault(int year, int month, int day, bool dayZeroAllowed) {
    if (month < 1 || month > 12) return "month " + Number(month, 2);
    if ((day == 0 && !dayZeroAllowed) || day > DaysIn(month, year)) return "day " + Number(day, 2);
    return {};
}

std::string TimeFault(const char* unit, int value, int limit) {
    return value < limit ? std::string() : std::string(unit) + " " + Number(value, 2);
}

// The fault that a named check finds in a component's data (already in its set), or "".
std::string CheckFault(std::string_view check, std::string_view data) {
    if (check == "csum") return CheckDigitFault(data);
    if (check == "csumalpha") return CheckPairFault(data);
    if (check == "yymmd0" || check == "yymmdd")
        return DateFault(TwoDigits(data, 0), TwoDigits(data, 2), TwoDigits(data, 4),
                         check == "yymmd0");
    if (check == "yyyymmdd")
        return DateFault(TwoDigits(data, 0) * 100 + TwoDigits(data, 2), TwoDigits(data, 4),
                         TwoDigits(data, 6), false);
    if (check == "hhmi") {
        std::string fault = TimeFault("hour", TwoDigits(data, 0), 24);
        return fault.empty() ? TimeFault("minute", TwoDigits(data, 2), 60) : fault;
    }
    if (check == "hh") return TimeFault("hour", TwoDigits(data, 0), 24);
    if (check == "mi") return TimeFault("minute", TwoDigits(data, 0), 60);
    return TimeFault("second", TwoDigits(data, 0), 60); // ss
}

// The fault of a value against the components of a format, or "".
std::string FieldFault(const std::vector<Gs1Component>& components, std::string_view value) {
    size_t least = 0;
    size_t most = 0;
    for (const Gs1Component& c : components) {
        least += c.Optional ? 0 : c.Least;
        most += c.Most;
    }
    if (value.empty()) return "has no data";
    if (value.size() > most) return "is longer than " + std::to_string(most);
    if (value.size() < least) return "is shorter than " + std::to_string(least);
    size_t at = 0;
    for (const Gs1Component& c : components) {
        if (c.Optional && at == value.size()) break;
        const size_t length = c.Least == c.Most ? c.Least : std::min(c.Most, value.size() - at);
        if (at + length > value.size()) break;
        const std::string_view data = value.substr(at, length);
        if (std::string fault = CharacterFault(c.Type, data); !fault.empty()) return fault;
        for (std::string_view check : c.Checks)
            if (std::string fault = CheckFault(check, data); !fault.empty()) return fault;
        at += length;
    }
    if (at != value.size()) return "cannot be " + std::to_string(value.size()) + " characters long";
    return {};
}

} // namespace

std::span<const Gs1Ai> Gs1ApplicationIdentifiers() {
    return kApplicationIdentifiers;
}

std::vector<Gs1Component> Gs1Components(std::string_view format) {
    std::vector<Gs1Component> components;
    while (!format.empty()) {
        const size_t end = std::min(format.find(' '), format.size());
        std::string_view token = format.substr(0, end);
        format.remove_prefix(std::min(end + 1, format.size()));
        Gs1Component c;
        if (token.front() == '[') {
            c.Optional = true;
            token = token.substr(1, token.size() - 2);
        }
        c.Type = token.front();
        const size_t comma = std::min(token.find(','), token.size());
        const bool variable = token.substr(1, 2) == "..";
        const size_t digits = variable ? 3 : 1;
        const int length = std::stoi(std::string(token.substr(digits, comma - digits)));
        c.Least = variable ? 1 : static_cast<size_t>(length);
        c.Most = static_cast<size_t>(length);
        for (std::string_view checks = token.substr(comma); !checks.empty();) {
            checks.remove_prefix(1); // the comma
            const size_t next = std::min(checks.find(','), checks.size());
            c.Checks.push_back(checks.substr(0, next));
            checks.remove_prefix(next);
        }
        components.push_back(c);
    }
    return components;
}

const Gs1Ai* FindGs1Ai(std::string_view ai) {
    for (const Gs1Ai& row : kApplicationIdentifiers) {
        std::string_view prefix = ai;
        if (row.Point >= 0) {
            if (ai.empty() || ai.back() > '0' + row.Point) continue;
            prefix.remove_suffix(1);
        }
        if (prefix.size() == row.First.size() && row.First <= prefix && prefix <= row.Last)
            return &row;
    }
    return nullptr;
}

std::string Gs1FieldFault(const Gs1Ai& row, std::string_view value) {
    return FieldFault(Gs1Components(row.Format), value);
}

} // namespace quillax::encoders
