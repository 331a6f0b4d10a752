#pragma once
// Tags attached to objects: plain tags, tags with one record per point or polygon (UVW and
// others), and selection tags.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/scene/node.h"
#include "host/scene/records.h"
#include "host/scene/selection.h"
#include "host/scene/shared_chunks.h"

namespace fm::host {

class Object;

enum class ElementKind { Point, Polygon };

class Tag : public Node {
 public:
  explicit Tag(int32_t type, std::string name = {}) : Node(NodeKind::Tag, type, std::move(name)) {}

  // The object the tag is attached to; null while detached.
  Object* Host() const { return host_; }

  // Follows a change of the host object's element counts: per-element data keeps its first
  // records and zero-fills new ones; selections forget indices at or beyond the new count.
  virtual void FollowResize(int32_t points, int32_t polygons);

  // A detached copy of the tag's data, for undo; Restore puts such a copy's data back.
  virtual std::unique_ptr<Tag> Clone() const;
  virtual void Restore(const Tag& saved);

 private:
  friend class Object;
  Object* host_ = nullptr;
};

// One fixed-size record per point or per polygon of the host object.
class VariableTag : public Tag {
 public:
  VariableTag(int32_t type, ElementKind element, int32_t recordSize, int32_t count = 0,
              std::string name = {});

  ElementKind Element() const { return element_; }
  int32_t RecordSize() const { return recordSize_; }
  virtual int32_t Count() const;

  // Copies one record out of / into the tag (RecordSize() bytes); false, copying nothing, when the
  // index is out of range.
  virtual bool Read(int32_t index, void* out) const;
  virtual bool Write(int32_t index, const void* in);

  // The records as plain bytes, writable in place (until the count changes). A tag that keeps its
  // records in a form of its own turns them into plain bytes for good first.
  uint8_t* Record(int32_t index);  // null when the index is out of range
  const uint8_t* Record(int32_t index) const;
  std::vector<uint8_t>& Bytes();
  const std::vector<uint8_t>& Bytes() const;

  virtual void SetCount(int32_t count);

  void FollowResize(int32_t points, int32_t polygons) override;
  std::unique_ptr<Tag> Clone() const override;
  void Restore(const Tag& saved) override;

 protected:
  // Called before the plain bytes are handed out or written; writes any other form into them.
  virtual void ToBytes() const {}
  // The plain bytes as they stand, without ToBytes().
  std::vector<uint8_t>& StoredBytes() const { return bytes_; }

 private:
  ElementKind element_;
  int32_t recordSize_;
  // Mutable because const readers of the plain bytes may have to produce them from another form;
  // the records' values do not change by it.
  mutable std::vector<uint8_t> bytes_;
};

// Texture coordinates: one UvwRecord per polygon.
//
// Records whose corners are all of the form (f, k, 0) with whole numbers 0 <= f < 2^30 and
// 0 <= k < 4 (fmhost's corner origins, and zeroed records) are kept as one 32-bit number per corner,
// a sixth of the doubles' size; Get, Read and Count give them exactly as written. The first record
// written that does not fit, or any call for the plain bytes, turns the tag into plain UvwRecords
// for good (a Restore from a copy taken before puts the compact form back). In the compact form a
// copy (Clone, and so an undo capture) shares the records with the tag, and a write copies only
// the chunk of records it lands in.
class UvwTag : public VariableTag {
 public:
  explicit UvwTag(int32_t polygons = 0, std::string name = {});

  // Out-of-range indices: Get gives zeros, Set changes nothing and answers false.
  UvwRecord Get(int32_t index) const;
  bool Set(int32_t index, const UvwRecord& record);
  // Adds a record after the last one (room for `count` records is made ahead by Reserve).
  void Append(const UvwRecord& record);
  void Reserve(int32_t count);

  // Makes the empty tag hold, for each polygon i, the corners (face + i, k, 0) for k = 0, 1, 2 and
  // then 2 again where `triangle[i]`, 3 elsewhere (fmhost's corner origins of faces `face`.. on).
  // Such records take no memory until written; false, changing nothing, where the tag is not empty
  // or the faces lie beyond what the compact form holds.
  bool GenerateOrigins(uint32_t face, std::vector<bool> triangle);

  // True while the records are kept in the compact form.
  bool Compact() const { return compact_; }
  // In the compact form, the record's corners as face << 2 | corner (see above); false otherwise
  // or for an index out of range.
  bool CompactCorners(int32_t index, uint32_t (&corners)[4]) const;

  int32_t Count() const override;
  bool Read(int32_t index, void* out) const override;
  bool Write(int32_t index, const void* in) override;
  void SetCount(int32_t count) override;
  std::unique_ptr<Tag> Clone() const override;
  void Restore(const Tag& saved) override;

 private:
  struct CompactRecord {
    uint32_t corner[4];  // face << 2 | corner
  };
  // `in` / `out`: the bytes of one UvwRecord.
  static bool Pack(const void* in, CompactRecord& out);
  static void Unpack(const CompactRecord& record, void* out);

  void ToBytes() const override;

  mutable bool compact_ = true;
  mutable SharedChunks<CompactRecord> records_;
};

// A named selection of points or polygons (type 5673 for polygons).
class SelectionTag : public Tag {
 public:
  SelectionTag(int32_t type, ElementKind element, std::string name = {});

  ElementKind Element() const { return element_; }
  Selection& Elements() { return selection_; }
  const Selection& Elements() const { return selection_; }

  void FollowResize(int32_t points, int32_t polygons) override;
  std::unique_ptr<Tag> Clone() const override;
  void Restore(const Tag& saved) override;

 private:
  ElementKind element_;
  Selection selection_;
};

}  // namespace fm::host
