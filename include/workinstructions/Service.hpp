#pragma once

// What a program implements to serve the work-instruction service: one
// handler per operation, called by a Server with the request already read.

#include "workinstructions/CallContext.hpp"
#include "workinstructions/LoadWorkInstructionDocInput.hpp"
#include "workinstructions/LoadedObjectsResponse.hpp"
#include "workinstructions/SaveWorkInstructionDocInput.hpp"
#include "workinstructions/SavedObjectsResponse.hpp"
#include "workinstructions/ServiceExport.hpp"
#include "workinstructions/XmlIO.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {

/// The operations of the service. A Server calls them on its worker threads,
/// several at once: an implementation guards what its calls share.
///
/// A handler that throws `Kavella::Soa::Common::Xml::SoapFault` answers that
/// fault (code, subcodes, reason and detail as given, in the request's SOAP
/// version). Any other exception answers a Receiver fault that says only that
/// the service failed: its text goes to the server's log, never to the client.
/// A handler that returns a null reply is treated the same way.
///
/// A Server calls the overloads with a CallContext (the caller's address,
/// headers, identity, request id, and whether it has gone); by default they
/// call the one-argument handlers, which a service that needs no context
/// implements alone.
class WI_SERVICE_API Service {
public:
    /// Out of line, so that the class's type information has one home.
    virtual ~Service();

    /// The load operation: the work-instruction documents of the request's objects.
    virtual AutoPtr<LoadedObjectsResponse> load(const LoadWorkInstructionDocInput& request) = 0;
    /// The save operation: stores the documents and reports what changed.
    virtual AutoPtr<SavedObjectsResponse> save(const SaveWorkInstructionDocInput& request) = 0;
    /// The load operation, knowing its call; by default load(request).
    virtual AutoPtr<LoadedObjectsResponse> load(const LoadWorkInstructionDocInput& request, CallContext& context);
    /// The save operation, knowing its call; by default save(request).
    virtual AutoPtr<SavedObjectsResponse> save(const SaveWorkInstructionDocInput& request, CallContext& context);
};

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions
