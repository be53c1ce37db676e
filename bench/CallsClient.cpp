#include <memory>
#include <stdexcept>

#include "CallsDriver.hpp"
#include "workinstructions/Client.hpp"
#include "workinstructions/MessageHead.hpp"

namespace kvsoabench {

namespace wi = ::Velmora::Schemas::Mes::_2010_09::Workinstructions;

struct CallsDriver::State {
    std::shared_ptr<wi::Client> client;
    wi::AutoPtr<wi::LoadWorkInstructionDocInput> load;
    wi::AutoPtr<wi::SaveWorkInstructionDocInput> save;

    void read(const std::string& request)
    {
        if (wi::peekMessage(request).name == "LoadWorkInstructionDocInput") {
            load = wi::readXml<wi::LoadWorkInstructionDocInput>(request);
        } else {
            save = wi::readXml<wi::SaveWorkInstructionDocInput>(request);
        }
    }
};

CallsDriver::CallsDriver(const std::string& url, const std::string& request)
    : m_state(new State{std::make_shared<wi::Client>(url), {}, {}})
{
    m_state->read(request);
}

// The request objects are each driver's own: threads that wrote one shared
// request would measure its reference counts bouncing between cores, not the client.
CallsDriver::CallsDriver(const CallsDriver& clientOf, const std::string& request)
    : m_state(new State{clientOf.m_state->client, {}, {}})
{
    m_state->read(request);
}

CallsDriver::~CallsDriver() = default;

std::size_t CallsDriver::call()
{
    if (m_state->load) return m_state->client->load(*m_state->load)->getLoadedObjectArray().size();
    const auto reply = m_state->client->save(*m_state->save);
    const auto& data = *reply->getServiceData();
    return data.getCreatedArray().size() + data.getUpdatedArray().size() + data.getDeletedArray().size();
}

} // namespace kvsoabench
