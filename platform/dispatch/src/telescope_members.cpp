#include "celaris/dispatch/telescope_members.h"

namespace celaris {

namespace {

using dispatch::MakeParam;

// The description's lines as calls of the builder.
dispatch::MemberTable Describe() {
    using namespace dispatch::columns;
    dispatch::MemberTableBuilder b;
#define CELARIS_GET(Name, Type, Capability, Needs) b.Property<Type>(#Name, #Capability, Needs);
#define CELARIS_PUT(Name, Type, Capability, Needs) b.Write<Type>(#Name, #Capability, Needs);
#define CELARIS_METHOD0(Verb, Name, Result, Capability, Needs, Wait) \
    b.Method<Result>(Verb, #Name, #Capability, Needs, Wait, {});
#define CELARIS_METHOD1(Verb, Name, Result, Capability, Needs, Wait, K1, T1) \
    b.Method<Result>(Verb, #Name, #Capability, Needs, Wait, {MakeParam<T1>(#K1)});
#define CELARIS_METHOD2(Verb, Name, Result, Capability, Needs, Wait, K1, T1, K2, T2) \
    b.Method<Result>(Verb, #Name, #Capability, Needs, Wait,                          \
                     {MakeParam<T1>(#K1), MakeParam<T2>(#K2)});
#include "celaris/dispatch/telescope_members.def"
#undef CELARIS_GET
#undef CELARIS_PUT
#undef CELARIS_METHOD0
#undef CELARIS_METHOD1
#undef CELARIS_METHOD2
    return b.Build();
}

}  // namespace

const dispatch::MemberTable& TelescopeMemberTable() {
    static const dispatch::MemberTable table = Describe();
    return table;
}

}  // namespace celaris
