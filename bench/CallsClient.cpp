#include <stdexcept>

#include "CallsDriver.hpp"
#include "workinstructions/Client.hpp"
#include "workinstructions/MessageHead.hpp"

namespace kvsoabench {

namespace wi = ::Velmora::Schemas::Mes::_2010_09::Workinstructions;

struct CallsDriver::State {
    wi::Client client;
    wi::AutoPtr<wi::LoadWorkInstructionDocInput> load;
    wi::AutoPtr<wi::SaveWorkInstructionDocInput> save;
};

CallsDriver::CallsDriver(const std::string& url, const std::string& request)
    : m_state(new State{wi::Client(url), {}, {}})
{
    if (wi::peekMessage(request).name == "LoadWorkInstructionDocInput") {
        m_state->load = wi::readXml<wi::LoadWorkInstructionDocInput>(request);
    } else {
        m_state->save = wi::readXml<wi::SaveWorkInstructionDocInput>(request);
    }
}

CallsDriver::~CallsDriver() = default;

std::size_t CallsDriver::call()
{
    if (m_state->load) return m_state->client.load(*m_state->load)->getLoadedObjectArray().size();
    const auto reply = m_state->client.save(*m_state->save);
    const auto& data = *reply->getServiceData();
    return data.getCreatedArray().size() + data.getUpdatedArray().size() + data.getDeletedArray().size();
}

} // namespace kvsoabench
