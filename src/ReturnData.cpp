#include "ReturnData.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

CReturnData::~CReturnData() = default;

void CReturnData::BuildJson(const ReturnFigures& figures) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    auto member = [&writer](const char* name, const std::string& value) {
        writer.Key(name);
        writer.String(value.c_str(), static_cast<rapidjson::SizeType>(value.size()));
    };
    writer.StartObject();
    member("periodKey", figures.periodKey);
    member("vatDueSales", figures.box1);
    member("vatDueAcquisitions", figures.box2);
    member("totalVatDue", figures.box3);
    member("vatReclaimedCurrPeriod", figures.box4);
    member("netVatDue", figures.box5);
    member("totalValueSalesExVAT", figures.box6);
    member("totalValuePurchasesExVAT", figures.box7);
    member("totalValueGoodsSuppliedExVAT", figures.box8);
    member("totalAcquisitionsExVAT", figures.box9);
    writer.Key("finalised");
    writer.Bool(true);
    writer.EndObject();
    m_json.assign(buffer.GetString(), buffer.GetSize());
}
