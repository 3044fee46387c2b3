#include "delivery/mail/HtmlText.h"

#include <gtest/gtest.h>

namespace tarnalert {
namespace detail {
namespace {

TEST(HtmlTextTest, ReadsAsAPersonWouldSeeThePage) {
  const struct {
    const char* label;
    const char* html;
    const char* text;
  } cases[] = {
      {"breaks and blocks", "<p>one<br>two</p><div>three</div>four", "one\ntwo\n\nthree\nfour\n"},
      {"white space folds", "  a \n\t b  <b> c </b>\n", "a b c\n"},
      {"list items", "<ul><li>x</li><li>y</li></ul>after", "x\ny\n\nafter\n"},
      {"references", "&amp;lt; &lt;b&gt; &#233;&#x20AC; &nbsp;&copy; &bogus; &#;",
       "&lt; <b> é€ © &bogus; &#;\n"},
      {"out-of-range reference", "&#x110000;&#55296;", "\xEF\xBF\xBD\xEF\xBF\xBD\n"},
      {"link keeps its address", "<a href='https://x.example/a?b=1&amp;c=2'>report</a>",
       "report <https://x.example/a?b=1&c=2>\n"},
      {"link showing its address", "<a href=\"https://x.example\">https://x.example</a>",
       "https://x.example\n"},
      {"mailto showing the address", "<a href=\"mailto:ops@example.com\">ops@example.com</a>",
       "ops@example.com\n"},
      {"hidden contents", "<head><title>T</title><style>p{}</style></head><script>x<y</script>z",
       "z\n"},
      {"comments and doctype", "<!DOCTYPE html><!-- <p>no</p> -->yes", "yes\n"},
      {"quoted '>' in a tag", "<a title=\"a>b\" href=\"h\">t</a>", "t <h>\n"},
      {"preformatted", "<pre>a  b\n  c</pre>d", "a  b\n  c\nd\n"},
      {"table cells", "<table><tr><td>k</td><td>v</td></tr><tr><td>k2</td></tr></table>",
       "k v\nk2\n"},
      {"lone angle and broken tag", "1 < 2 <b", "1 < 2\n"},
      {"upper-case tags", "<P>a<BR/>b</P>", "a\nb\n"},
      {"empty", "", ""},
  };
  for (const auto& row : cases) {
    EXPECT_EQ(HtmlToText(row.html), row.text) << row.label;
  }
}

}  // namespace
}  // namespace detail
}  // namespace tarnalert
