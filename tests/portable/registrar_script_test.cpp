#include "core/registrar_script.h"

#include <gtest/gtest.h>

using core::ParseRegistrarScript;
using core::RegistryKeyNode;
using core::String;

namespace {

const std::vector<core::RegistrarReplacement> kReplacements = {
    {u"APPID", u"{1A741FBB-8EBB-445B-8B75-0A9FA35200B8}"},
    {u"MODULE", core::QuoteForRegistrar(u"C:\\it's\\Velluma.dll")},
};

const char16_t kClassScript[] = uR"(HKCR
{
	Velluma.VellumaOutput.1 = s 'VellumaOutput Class'
	{
		CLSID = s '{9AB40107-F686-4c1b-833B-9F62832EAD8A}'
	}
	NoRemove CLSID
	{
		ForceRemove {9AB40107-F686-4c1b-833B-9F62832EAD8A} = s 'VellumaOutput Class'
		{
			val AppID = s '%APPID%'
			InprocServer32 = s '%MODULE%'
			{
				val ThreadingModel = s 'Apartment'
			}
		}
	}
})";

} // namespace

TEST(RegistrarScript, ParsesKeysValuesFlagsAndReplacements) {
    auto result = ParseRegistrarScript(kClassScript, kReplacements);
    ASSERT_TRUE(result.script) << core::ToUtf8(result.error);
    ASSERT_EQ(result.script->roots.size(), 1u);
    const auto& root = result.script->roots[0];
    EXPECT_EQ(root.root, u"HKCR");
    ASSERT_EQ(root.keys.size(), 2u);

    const RegistryKeyNode& progId = root.keys[0];
    EXPECT_EQ(progId.name, u"Velluma.VellumaOutput.1");
    EXPECT_EQ(progId.removal, RegistryKeyNode::Removal::Normal);
    EXPECT_EQ(progId.defaultValue, String(u"VellumaOutput Class"));
    ASSERT_EQ(progId.subkeys.size(), 1u);
    EXPECT_EQ(progId.subkeys[0].defaultValue, String(u"{9AB40107-F686-4c1b-833B-9F62832EAD8A}"));

    const RegistryKeyNode& clsid = root.keys[1];
    EXPECT_EQ(clsid.removal, RegistryKeyNode::Removal::NoRemove);
    EXPECT_FALSE(clsid.defaultValue);
    ASSERT_EQ(clsid.subkeys.size(), 1u);
    const RegistryKeyNode& cls = clsid.subkeys[0];
    EXPECT_EQ(cls.removal, RegistryKeyNode::Removal::ForceRemove);
    ASSERT_EQ(cls.values.size(), 1u);
    EXPECT_EQ(cls.values[0].first, u"AppID");
    EXPECT_EQ(cls.values[0].second, u"{1A741FBB-8EBB-445B-8B75-0A9FA35200B8}");
    ASSERT_EQ(cls.subkeys.size(), 1u);
    // The doubled quote of the module path reads back as one quote.
    EXPECT_EQ(cls.subkeys[0].defaultValue, String(u"C:\\it's\\Velluma.dll"));
    ASSERT_EQ(cls.subkeys[0].values.size(), 1u);
    EXPECT_EQ(cls.subkeys[0].values[0], std::make_pair(String(u"ThreadingModel"), String(u"Apartment")));
}

TEST(RegistrarScript, QuotedKeyNamesAndPercentSigns) {
    auto result = ParseRegistrarScript(u"HKCR { NoRemove AppID { '%APPID%' = s '100%% sure' 'Velluma.DLL' { val AppID = s '%APPID%' } } }",
                                       kReplacements);
    ASSERT_TRUE(result.script) << core::ToUtf8(result.error);
    const auto& appId = result.script->roots[0].keys[0];
    ASSERT_EQ(appId.subkeys.size(), 2u);
    EXPECT_EQ(appId.subkeys[0].name, u"{1A741FBB-8EBB-445B-8B75-0A9FA35200B8}");
    EXPECT_EQ(appId.subkeys[0].defaultValue, String(u"100% sure"));
    EXPECT_EQ(appId.subkeys[1].name, u"Velluma.DLL");
}

TEST(RegistrarScript, RefusesBrokenScriptsWithTheLine) {
    struct Case { const char16_t* text; const char* fragment; };
    const Case cases[] = {
        {u"HKCR\n{\n  Key = s 'open", "line 3"},
        {u"HKCR\n{\n  Key = d '5'\n}", "only string values"},
        {u"HKCR { Key { val A = s 'x' } ", "'}' expected"},
        {u"HKCR { Key { val = s 'x' } }", "value name expected"},
        {u"HKCR { Key = s '%NOPE%' }", "unknown replacement"},
        {u"HKCR Key", "'{' expected"},
        {u"HKCR { Delete Key }", "not supported"},
    };
    for (const Case& c : cases) {
        auto result = ParseRegistrarScript(c.text, kReplacements);
        EXPECT_FALSE(result.script) << c.fragment;
        EXPECT_NE(core::ToUtf8(result.error).find(c.fragment), std::string::npos) << core::ToUtf8(result.error);
    }
}

TEST(RegistrarScript, DeepNestingIsRefusedNotOverflowed) {
    String text = u"HKCR {";
    for (int i = 0; i < 10000; ++i) text += u" k {";
    auto result = ParseRegistrarScript(text, {});
    EXPECT_FALSE(result.script);
    EXPECT_NE(core::ToUtf8(result.error).find("nested too deeply"), std::string::npos);
}
