/* A stand-in for the HTML5 parser's interface, just what MuPDF's XML reader uses.
   The Windows build reads XPS and PDF only; HTML parsing always fails (see gumbo.c). */
#ifndef XPSCONV_GUMBO_STUB_H
#define XPSCONV_GUMBO_STUB_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct {
  const char *data;
  size_t length;
} GumboStringPiece;

typedef struct {
  void **data;
  unsigned int length;
  unsigned int capacity;
} GumboVector;

typedef enum {
  GUMBO_NAMESPACE_HTML,
  GUMBO_NAMESPACE_SVG,
  GUMBO_NAMESPACE_MATHML
} GumboNamespaceEnum;

/* No tag is ever produced, so only the two markers exist. */
typedef enum {
  GUMBO_TAG_UNKNOWN,
  GUMBO_TAG_LAST
} GumboTag;

typedef enum {
  GUMBO_NODE_DOCUMENT,
  GUMBO_NODE_ELEMENT,
  GUMBO_NODE_TEXT,
  GUMBO_NODE_CDATA,
  GUMBO_NODE_COMMENT,
  GUMBO_NODE_WHITESPACE,
  GUMBO_NODE_TEMPLATE
} GumboNodeType;

typedef struct {
  const char *name;
  const char *value;
} GumboAttribute;

typedef struct {
  GumboVector children;
  GumboTag tag;
  GumboNamespaceEnum tag_namespace;
  GumboStringPiece original_tag;
  GumboVector attributes;
} GumboElement;

typedef struct {
  const char *text;
} GumboText;

typedef struct GumboNode {
  GumboNodeType type;
  struct GumboNode *parent;
  union {
    GumboElement element;
    GumboText text;
  } v;
} GumboNode;

typedef struct {
  GumboNode *document;
  GumboNode *root;
  GumboVector errors;
} GumboOutput;

typedef void *(*GumboAllocatorFunction)(void *userdata, size_t size);
typedef void (*GumboDeallocatorFunction)(void *userdata, void *ptr);

typedef struct {
  GumboAllocatorFunction allocator;
  GumboDeallocatorFunction deallocator;
  void *userdata;
  int tab_stop;
  int stop_on_first_error;
  int max_errors;
  GumboTag fragment_context;
  GumboNamespaceEnum fragment_namespace;
} GumboOptions;

/* Both parse calls return NULL: no document. */
GumboOutput *gumbo_parse(const char *buffer);
GumboOutput *gumbo_parse_with_options(const GumboOptions *options, const char *buffer,
                                      size_t buffer_length);
void gumbo_destroy_output(const GumboOptions *options, GumboOutput *output);
const char *gumbo_normalized_tagname(GumboTag tag);

#ifdef __cplusplus
}
#endif

#endif
