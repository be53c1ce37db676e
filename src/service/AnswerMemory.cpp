#include "AnswerMemory.hpp"

#include <algorithm>
#include <memory>

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving {

namespace {

// An answer's text until libmicrohttpd has sent it, charged to the server's
// budget for answers: a client that never reads holds this much and no more.
struct HeldAnswer {
    std::string text;
    BodyBudget& budget;
    std::size_t charged;
};

void freeHeldAnswer(void* held)
{
    const std::unique_ptr<HeldAnswer> answer(static_cast<HeldAnswer*>(held));
    answer->budget.give(answer->charged);
    answer->budget.holderOut();
}

// Short and bounded by the connections: this one goes uncharged.
const char overBudgetText[] = "the answers waiting to be sent fill the server's memory for them; try again shortly\n";

MHD_Response* overAnswerBudget()
{
    MHD_Response* response = MHD_create_response_from_buffer(sizeof overBudgetText - 1,
                                                             const_cast<char*>(overBudgetText), MHD_RESPMEM_PERSISTENT);
    if (response) MHD_add_response_header(response, MHD_HTTP_HEADER_RETRY_AFTER, "1");
    return response;
}

} // namespace

MHD_Response* responseFor(BodyBudget& answers, ServiceAnswer& answer, int& status, std::size_t& size)
{
    status = answer.status;
    size = answer.body().size();
    if (answer.prepared) {
        return MHD_create_response_from_buffer(answer.prepared->size(), const_cast<char*>(answer.prepared->data()),
                                               MHD_RESPMEM_PERSISTENT);
    }
    const std::size_t charge = std::max<std::size_t>(answer.text.size(), 1);
    if (!answers.take(charge)) {
        status = 503;
        size = sizeof overBudgetText - 1;
        return overAnswerBudget();
    }
    auto held = std::make_unique<HeldAnswer>(HeldAnswer{std::move(answer.text), answers, charge});
    MHD_Response* response = MHD_create_response_from_buffer_with_free_callback_cls(
        held->text.size(), held->text.data(), freeHeldAnswer, held.get());
    if (!response) {
        answers.give(charge);
        return nullptr;
    }
    answers.holderIn();
    static_cast<void>(held.release()); // libmicrohttpd frees it with the response
    return response;
}

} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions::serving
