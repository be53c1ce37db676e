// A library that leaks every kind of internal symbol that the export check
// must catch; the check is run on it and has to report each of them.

namespace Velmora::Schemas::Mes::_2010_09::Workinstructions {
namespace detail {
struct ClassSchema {
    const char* allocationTag;
};
int writeObject(const ClassSchema& schema) { return schema.allocationTag != nullptr; }
int reserveArray(int count) { return count; }
} // namespace detail

class Leaky {
public:
    static int schema();
};
int Leaky::schema() { return 1; }
} // namespace Velmora::Schemas::Mes::_2010_09::Workinstructions

namespace Kavella::Soa::Common {
int lexicalHelper() { return 2; }
} // namespace Kavella::Soa::Common

namespace engine {
int walk() { return 3; }
} // namespace engine

extern "C" int XML_ParserCreate() { return 4; }
