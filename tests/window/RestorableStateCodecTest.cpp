#include "window/RestorableStateCodec.h"

#include <gtest/gtest.h>

using namespace korimado;

TEST(RestorableStateCodec, RoundTripsAndReadsOlderLayoutsAsAFirstLaunchShowsThem)
{
    RestorableWindowState state;
    state.version = RestorableStateCodec::currentVersion;
    state.mode = 2;
    state.detail = 3;
    state.selection = {5, 7};
    state.navigationHidden = true;
    state.split = true;
    state.vertical = true;
    state.rootURL = QStringLiteral("file:///tmp/x");
    const auto coder = RestorableStateCodec::encode(state);
    const auto back = RestorableStateCodec::decode(coder);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->mode, 2);
    EXPECT_EQ(back->detail, 3);
    EXPECT_EQ(back->selection, (TextRange{5, 7}));
    EXPECT_TRUE(back->navigationHidden);
    EXPECT_FALSE(back->treeHidden);
    EXPECT_TRUE(back->split);
    EXPECT_TRUE(back->vertical);
    EXPECT_EQ(back->rootURL, state.rootURL);

    // No version: the split mode and the first detail; the bars and the second editor as new.
    auto old = coder;
    old.remove(QStringLiteral("kori.startupLayoutVersion"));
    const auto older = RestorableStateCodec::decode(old);
    ASSERT_TRUE(older);
    EXPECT_EQ(older->mode, 1);
    EXPECT_EQ(older->detail, 0);
    EXPECT_FALSE(older->navigationHidden);
    EXPECT_TRUE(older->treeHidden);
    EXPECT_FALSE(older->split);
    EXPECT_TRUE(older->vertical) << "the orientation is read whatever the version";

    // A detail out of range falls back to the first; a coder without a mode holds nothing.
    auto odd = coder;
    odd.insert(QStringLiteral("kori.detail"), DefaultsValue(qint64(9)));
    EXPECT_EQ(RestorableStateCodec::decode(odd)->detail, 0);
    odd.remove(QStringLiteral("kori.mode"));
    EXPECT_FALSE(RestorableStateCodec::decode(odd));
}
