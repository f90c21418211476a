// Reading and writing form descriptions: the text format of core/formparser.h applied to
// components through their published properties (core/properties.h), their defined binary
// properties (TPersistent::DefineProperties) and the class registry (core/classregistry.h).
//
// Reading: properties are applied in the order they stand. Nested objects are created from
// the class registry with the root as their owner, named, and given their enclosing object
// through SetParentComponent. Event properties bind at once to methods the root publishes
// (TComponent::PublishMethod); component references are resolved by name once the whole
// description has been read, so they may name components that come later. While reading,
// every component read carries csLoading and csReading; afterwards csReading is cleared and
// each gets Loaded(), root first, then in creation order.
//
// Failures: a malformed description raises EParserError, a property that does not exist or a
// value that does not fit raises EPropertyError, an unknown class EClassNotFound; all these
// messages start with "Line N: ". Errors raised by the objects themselves (a setter, a
// binary reader) pass through unchanged. Whatever fails, every component created by the read
// is destroyed again and the root is left without new children; values already applied to an
// existing root's own properties stay. "inherited" and "inline" objects, lists "( )",
// collections "< >" and references to components of other roots are not supported.
//
// Writing: each component as "object Name: Class", its published properties in declaration
// order, leaving out those equal to their default (or, when an ancestor is given, equal to the
// ancestor's value), then its defined binary properties, then the children its GetChildren
// gives. Sub-object properties are written with dotted names.
#pragma once

#include <memory>
#include <string>

#include "core/component.h"
#include "core/stream.h"

namespace orn {

// Reads Text into the existing Root. The description's class must be Root's class (compared
// without regard to case), else EClassNotFound "Line 1: ..." before anything changes.
void ReadFormDescription(const std::string& Text, TComponent* Root);
// Reads the rest of Stream as the description text.
void ReadFormDescription(TStream& Stream, TComponent* Root);

// Creates the root component from the registry, owned by Owner (which may be nil), and reads
// the description into it. On failure nothing is left behind.
TComponent* CreateFromFormDescription(const std::string& Text, TComponent* Owner);
std::unique_ptr<TComponent> CreateFromFormDescription(const std::string& Text);

// Writes Root and its children. With an Ancestor (a component of the same kind to compare
// against), properties equal to the ancestor's are left out, and the defined properties see
// the ancestor's matching object as TFiler::Ancestor().
std::string WriteFormDescription(TComponent* Root, TComponent* Ancestor = nullptr);
void WriteFormDescription(TStream& Stream, TComponent* Root, TComponent* Ancestor = nullptr);

}  // namespace orn
