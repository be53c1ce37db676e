// Faults written in either SOAP version: what only writing decides.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "kvsoa/Soap.hpp"
#include "kvsoa/XMLDocument.hpp"

namespace {

using namespace Kavella::Soa::Common::Xml;

SoapFault readBack(const std::string& written)
{
    const XMLDocument document(written);
    try {
        messageNode(document.root());
    } catch (const SoapFault& fault) {
        return fault;
    }
    throw std::runtime_error("no fault in " + written);
}

// Codes, subcodes and details pass through writing in SoapTest's fault table;
// the server's table checks the header blocks and HTTP statuses.
TEST(SoapFaultWriting, SaysSoap11sMissingCodeWithItsClientCode)
{
    SoapFaultParts parts(SoapFaultCode::DataEncodingUnknown, "utf-7");
    parts.subcodes = {"{urn:app}Charset"};
    EXPECT_EQ(readBack(writeSoapFault(SoapFault(parts), SoapVersion::Soap11)).code(),
              "soapenv:Client.DataEncodingUnknown.Charset");
    EXPECT_EQ(readBack(writeSoapFault(SoapFault(parts), SoapVersion::Soap12)).code(), "env:DataEncodingUnknown/sc:Charset");
}

// A code of one's own has its namespace in SOAP 1.1 only as the faultcode itself.
TEST(SoapFaultWriting, GivesSoap11AReceiversOwnCodeWithItsNamespace)
{
    SoapFaultParts parts(SoapFaultCode::Receiver, "locked");
    parts.subcodes = {"{urn:app}Locked", "Table"};
    const SoapFault copy = readBack(writeSoapFault(SoapFault(parts), SoapVersion::Soap11));
    EXPECT_EQ(copy.code(), "sc:Locked.Table");
    EXPECT_EQ(copy.faultCode(), SoapFaultCode::Receiver);
    EXPECT_EQ(copy.subcodes(), parts.subcodes);
    parts.code = SoapFaultCode::Sender;
    EXPECT_EQ(readBack(writeSoapFault(SoapFault(parts), SoapVersion::Soap11)).subcodes(),
              (std::vector<std::string>{"Locked", "Table"}));
}

TEST(SoapFaultWriting, CarriesAnyText)
{
    // A reason that quotes a name cut mid-character, or a control character.
    SoapFaultParts parts(SoapFaultCode::Sender, "cut \xE2\x82 here \x01 and \xFF end");
    parts.detail = "line\nbreak \x7F";
    for (const SoapVersion version : {SoapVersion::Soap11, SoapVersion::Soap12}) {
        const SoapFault copy = readBack(writeSoapFault(SoapFault(parts), version));
        // One U+FFFD per byte that is not part of a character XML allows.
        EXPECT_EQ(copy.reason(), "cut \xEF\xBF\xBD\xEF\xBF\xBD here \xEF\xBF\xBD and \xEF\xBF\xBD end");
        EXPECT_EQ(copy.detail(), "line break \x7F");
    }
}

} // namespace
