#include "platform/html_text.h"

#include <gtest/gtest.h>

namespace vestrel {
namespace {

TEST(HtmlText, MarkupAndControlCharactersAreEscaped) {
    EXPECT_EQ(EscapeHtml("<script>alert('x') & \"y\"</script>"),
              "&lt;script&gt;alert(&#39;x&#39;) &amp; &quot;y&quot;&lt;/script&gt;");
    EXPECT_EQ(EscapeHtml("a\x1B" "b \xC3\xBC"), "a\\x1Bb \xC3\xBC");
}

}  // namespace
}  // namespace vestrel
