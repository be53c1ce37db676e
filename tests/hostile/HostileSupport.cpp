#include "HostileSupport.hpp"

#include <pthread.h>

#include <cstring>
#include <exception>
#include <stdexcept>

namespace hostile {

std::string declarations()
{
    return std::string(" xmlns:wi=\"") + wi::NamespaceUri + "\" xmlns:base=\"" + kBaseNamespace + "\"";
}

std::string domError(const std::function<void()>& call)
{
    try {
        call();
    } catch (const DomException& error) {
        return error.getMessage();
    }
    return "no exception";
}

namespace {

struct ThreadWork {
    const std::function<void()>* body;
    std::exception_ptr failure;
};

void* runThreadWork(void* argument)
{
    auto* work = static_cast<ThreadWork*>(argument);
    try {
        (*work->body)();
    } catch (...) {
        work->failure = std::current_exception();
    }
    return nullptr;
}

void check(int result, const char* what)
{
    if (result != 0) throw std::runtime_error(std::string(what) + ": " + std::strerror(result));
}

} // namespace

void runWithStack(std::size_t stackBytes, const std::function<void()>& body)
{
    // std::thread cannot choose its stack size; pthreads can.
    pthread_attr_t attributes;
    check(pthread_attr_init(&attributes), "pthread_attr_init");
    ThreadWork work{&body, nullptr};
    pthread_t thread;
    int result = pthread_attr_setstacksize(&attributes, stackBytes);
    if (result == 0) result = pthread_create(&thread, &attributes, &runThreadWork, &work);
    pthread_attr_destroy(&attributes);
    check(result, "starting a thread with a small stack");
    check(pthread_join(thread, nullptr), "pthread_join");
    if (work.failure) std::rethrow_exception(work.failure);
}

} // namespace hostile
