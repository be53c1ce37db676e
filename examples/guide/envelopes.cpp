// Envelopes and faults: writing a message into a SOAP envelope, reading one
// back, and the SoapFault that a fault in its place raises.

#include <iostream>
#include <string>

#include "workinstructions/WorkInstructions.hpp"

namespace wi = Velmora::Schemas::Mes::_2010_09::Workinstructions;
using Kavella::Soa::Common::AutoPtr;
using Kavella::Soa::Common::Xml::SoapFault;

int main()
{
    //! [write]
    wi::SavedObjectsResponse reply;
    reply.getServiceData()->addUpdated("Dcd0815Torque");
    const std::string soap11 = wi::writeXml(reply, wi::Envelope::Soap11);
    std::cout << soap11 << '\n';
    std::cout << wi::writeXml(reply, wi::Envelope::Soap12) << '\n';
    //! [write]

    //! [read]
    // readXml finds the message in the Body, whichever version the envelope is.
    AutoPtr<wi::SavedObjectsResponse> back = wi::readXml<wi::SavedObjectsResponse>(soap11);
    std::cout << "updated: " << back->getServiceData()->getUpdatedArray().front() << '\n';
    //! [read]

    //! [fault]
    // A Fault in the Body raises SoapFault (a DomException) with its texts.
    const std::string fault =
        "<soap:Envelope xmlns:soap='http://schemas.xmlsoap.org/soap/envelope/'><soap:Body>\n"
        "  <soap:Fault><faultcode>soap:Server</faultcode>\n"
        "    <faultstring>Object is checked out</faultstring>\n"
        "    <detail><uid>Op0010Gearbox</uid></detail></soap:Fault>\n"
        "</soap:Body></soap:Envelope>\n";
    try {
        wi::readXml<wi::SavedObjectsResponse>(fault);
    } catch (const SoapFault& error) {
        std::cout << error.code() << ": " << error.reason() << " (" << error.detail() << ") at line "
                  << error.line() << '\n';
    }
    //! [fault]
}
