// Messages as values: comparing, printing, the differences by path, and
// dates on the system clock.

#include <iostream>

#include "workinstructions/Compare.hpp"
#include "workinstructions/WorkInstructions.hpp"

namespace wi = Velmora::Schemas::Mes::_2010_09::Workinstructions;
using Kavella::Soa::Common::AutoPtr;
using Kavella::Soa::Common::DateTime;

namespace {

AutoPtr<wi::CreateInput> limits(double upper)
{
    AutoPtr<wi::CreateInput> input = wi::make<wi::CreateInput>();
    input->setType("Mes0DCD");
    input->addStringProp(wi::make<wi::StringMap>("unit", "N*m"));
    input->addDoubleProp(wi::make<wi::DoubleMap>("upper", upper));
    return input;
}

} // namespace

int main()
{
    //! [equal]
    // Equal when every value is, all the way down; doubles bit for bit.
    AutoPtr<wi::CreateInput> a = limits(25.2), b = limits(25.2);
    std::cout << std::boolalpha << "equal: " << (*a == *b) << '\n';
    b->getDoublePropArray().front()->setValue(-0.0);
    a->getDoublePropArray().front()->setValue(0.0);
    std::cout << "0 and -0 equal: " << (*a == *b) << '\n';
    //! [equal]

    //! [print]
    // operator<< writes the object as an indented document.
    std::cout << *limits(25.2) << '\n';
    //! [print]

    //! [differences]
    // What differs, by path; entries with a key are matched by key.
    AutoPtr<wi::CreateInput> before = limits(25.2), after = limits(25.5);
    after->addIntProp(wi::make<wi::IntMap>("count", 3));
    for (const wi::Difference& difference : wi::differences(*before, *after)) std::cout << difference << '\n';
    //! [differences]

    //! [chrono]
    // A date as the system clock's nanoseconds, and back with the offset it was written with.
    const DateTime written = DateTime::parse("2010-09-01T08:30:00.25+02:00");
    const Kavella::Soa::Common::SysNanoseconds instant = written.toSysTime();
    std::cout << instant.time_since_epoch().count() << " ns since 1970, "
              << DateTime::fromSysTime(instant, written.timeZoneOffsetMinutes()).toString() << '\n';
    //! [chrono]
    return 0;
}
