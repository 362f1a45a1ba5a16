#include "AccountAnswers.h"

#include <regex>
#include <utility>

#include "Money.h"

namespace {

// The member `name` of `object` as a YYYY-MM-DD string into `date`; a member that is absent
// leaves `date` empty and is fine unless `required`.
bool ReadDate(const rapidjson::Value& object, const char* name, std::string& date, bool required) {
    const auto member = object.FindMember(name);
    if (member == object.MemberEnd())
        return !required;
    if (!member->value.IsString())
        return false;
    static const std::regex kDate(R"([0-9]{4}-[0-9]{2}-[0-9]{2})");
    date.assign(member->value.GetString(), member->value.GetStringLength());
    return std::regex_match(date, kDate);
}

// The array `name` of a whole answer object, parsed with numbers kept as their digits.
const rapidjson::Value* AnswerArray(rapidjson::Document& document, const std::string& body,
                                    const char* name) {
    document.Parse<rapidjson::kParseIterativeFlag | rapidjson::kParseNumbersAsStringsFlag>(
        body.c_str(), body.size());
    if (document.HasParseError() || !document.IsObject())
        return nullptr;
    const auto list = std::as_const(document).FindMember(name);
    if (list == std::as_const(document).MemberEnd() || !list->value.IsArray())
        return nullptr;
    return &list->value;
}

bool ReadLiability(const rapidjson::Value& entry, Liability& liability) {
    if (!entry.IsObject())
        return false;
    const auto type = entry.FindMember("type");
    const auto original = entry.FindMember("originalAmount");
    if (type == entry.MemberEnd() || !type->value.IsString() || original == entry.MemberEnd() ||
        !ReadJsonAmount(original->value, liability.originalPence))
        return false;
    liability.type.assign(type->value.GetString(), type->value.GetStringLength());
    if (const auto outstanding = entry.FindMember("outstandingAmount");
        outstanding != entry.MemberEnd()) {
        std::int64_t pence = 0;
        if (!ReadJsonAmount(outstanding->value, pence))
            return false;
        liability.outstandingPence = pence;
    }
    if (const auto period = entry.FindMember("taxPeriod"); period != entry.MemberEnd()) {
        if (!period->value.IsObject() ||
            !ReadDate(period->value, "from", liability.periodFrom, true) ||
            !ReadDate(period->value, "to", liability.periodTo, true))
            return false;
    }
    return ReadDate(entry, "due", liability.due, false);
}

}  // namespace

bool ReadJsonAmount(const rapidjson::Value& value, std::int64_t& pence, bool wholePounds) {
    if (!value.IsString())
        return false;
    const std::string text(value.GetString(), value.GetStringLength());
    static const std::regex kAmount(R"(-?[0-9]+(\.[0-9]+)?)");
    if (!std::regex_match(text, kAmount))
        return false;
    const auto point = text.find('.');
    const std::string decimals = point == std::string::npos ? "" : text.substr(point + 1);
    // More decimals than HMRC keeps would be cut by the figure rules: refuse rather than change it.
    if (decimals.find_first_not_of('0', 2) != std::string::npos)
        return false;
    if (!TextToPence(text, pence))
        return false;
    return !wholePounds || pence % 100 == 0;
}

bool ReadLiabilities(const std::string& body, std::vector<Liability>& list) {
    rapidjson::Document document;
    const rapidjson::Value* entries = AnswerArray(document, body, "liabilities");
    if (!entries)
        return false;
    list.clear();
    for (const auto& entry : entries->GetArray()) {
        Liability liability;
        if (!ReadLiability(entry, liability))
            return false;
        list.push_back(std::move(liability));
    }
    return true;
}

bool ReadPayments(const std::string& body, std::vector<Payment>& list) {
    rapidjson::Document document;
    const rapidjson::Value* entries = AnswerArray(document, body, "payments");
    if (!entries)
        return false;
    list.clear();
    for (const auto& entry : entries->GetArray()) {
        Payment payment;
        if (!entry.IsObject())
            return false;
        const auto amount = entry.FindMember("amount");
        if (amount == entry.MemberEnd() || !ReadJsonAmount(amount->value, payment.amountPence) ||
            !ReadDate(entry, "received", payment.received, false))
            return false;
        list.push_back(std::move(payment));
    }
    return true;
}
