// The class registry file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "celaris/com/class_registry.h"

using namespace celaris::com;

namespace {
std::string TempDir() {
    char dir[] = "/tmp/celaris-reg-XXXXXX";
    return ::mkdtemp(dir);
}
}  // namespace

TEST(ClassRegistry, ValuesRoundTripThroughTheFile) {
    const std::string path = TempDir() + "/sub/classes.reg";  // folder made on save
    ClassRegistry r(path);
    EXPECT_TRUE(r.Load());  // a missing file is an empty registry
    r.SetValue("CLSID\\{X}\\InprocServer32", "", "/opt/lib/a.so");
    r.SetValue("CLSID\\{X}\\InprocServer32", "ThreadingModel", "both");
    r.SetValue("Some.Class", "", "line one\nline two");  // kept on one line
    ASSERT_TRUE(r.Save());

    ClassRegistry back(path);
    ASSERT_TRUE(back.Load());
    EXPECT_EQ(back.GetValue("clsid\\{x}\\inprocserver32"), "/opt/lib/a.so");
    EXPECT_EQ(back.GetValue("CLSID\\{X}\\InprocServer32", "threadingmodel"), "both");
    EXPECT_EQ(back.GetValue("Some.Class"), "line one line two");
    EXPECT_FALSE(back.GetValue("Missing").has_value());

    back.DeleteTree("CLSID\\{X}");
    EXPECT_FALSE(back.HasKey("CLSID\\{X}\\InprocServer32"));
    EXPECT_TRUE(back.HasKey("Some.Class"));
    // No temporary files are left behind.
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("[CLSID\\{X}\\InprocServer32]"), std::string::npos);
}

// Built by appending: "K" + std::to_string(t) sets off a GCC 12 -Wrestrict
// false positive in optimised builds.
static std::string KeyName(int t, int i) {
    std::string key = "K";
    key += std::to_string(t);
    key += '_';
    key += std::to_string(i);
    return key;
}

TEST(ClassRegistry, ConcurrentUpdatesLoseNothing) {
    const std::string path = TempDir() + "/classes.reg";
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([&, t] {
            for (int i = 0; i < 10; ++i)
                UpdateClassRegistry(path,
                                    [&](ClassRegistry& r) { r.SetValue(KeyName(t, i), "", "v"); });
        });
    for (auto& w : writers) w.join();
    ClassRegistry r(path);
    ASSERT_TRUE(r.Load());
    for (int t = 0; t < 4; ++t)
        for (int i = 0; i < 10; ++i) EXPECT_TRUE(r.HasKey(KeyName(t, i)));
}

TEST(ClassRegistry, LookupByProgIdOrClsid) {
    ClassRegistry r(TempDir() + "/classes.reg");
    r.SetValue("A.B\\CLSID", "", "{11111111-2222-3333-4444-555555555555}");
    r.SetValue("CLSID\\{11111111-2222-3333-4444-555555555555}\\InprocServer32", "", "/x.so");
    EXPECT_EQ(LookupInprocClass(r, "A.B")->libraryPath, "/x.so");
    EXPECT_EQ(LookupInprocClass(r, "{11111111-2222-3333-4444-555555555555}")->libraryPath, "/x.so");
    EXPECT_FALSE(LookupInprocClass(r, "A.C").has_value());
    r.SetValue("Bad.Id\\CLSID", "", "not a guid");
    EXPECT_FALSE(LookupInprocClass(r, "Bad.Id").has_value());
}
