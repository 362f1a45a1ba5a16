// The capture library's sources are added file by file; this one keeps the library non-empty.
namespace calvenor::capture {
int LibraryAnchor() { return 0; }
}  // namespace calvenor::capture
