// Keeps the test support library non-empty while it has no other sources.
namespace tessarak_testsupport {
int g_anchor = 0;
}
