/* HTML parsing is not part of the Windows build: every parse fails, and MuPDF's XML reader
   (patched by mupdf-html5-no-parser.patch) turns the missing output into an error. */
#include "gumbo.h"

GumboOutput *gumbo_parse(const char *buffer)
{
  (void)buffer;
  return NULL;
}

GumboOutput *gumbo_parse_with_options(const GumboOptions *options, const char *buffer,
                                      size_t buffer_length)
{
  (void)options;
  (void)buffer;
  (void)buffer_length;
  return NULL;
}

void gumbo_destroy_output(const GumboOptions *options, GumboOutput *output)
{
  (void)options;
  (void)output;
}

const char *gumbo_normalized_tagname(GumboTag tag)
{
  (void)tag;
  return "";
}
