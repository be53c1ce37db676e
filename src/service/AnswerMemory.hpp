#pragma once

// Answers on their way out. libmicrohttpd holds each answer until its client
// has read it all, so a crowd of clients that ask and never read would hold
// any amount of memory; each answer's text is charged to a budget until
// libmicrohttpd lets go of it, and one beyond the budget is replaced by a 503.

#include <microhttpd.h>

#include "BodyBudget.hpp"
#include "Dispatch.hpp"

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

/// The response for answer, its text moved out of it and charged to answers;
/// a short uncharged 503 (status then 503) when the budget has no room for
/// it; null when libmicrohttpd has no memory for a response. status and size:
/// those of the response's body.
MHD_Response* responseFor(BodyBudget& answers, ServiceAnswer& answer, int& status, std::size_t& size);

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
