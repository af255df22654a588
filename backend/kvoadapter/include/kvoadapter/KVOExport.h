/// \file
/// KVO_EXPORT: what the shared library exports.
#ifndef KVOADAPTER_KVOEXPORT_H
#define KVOADAPTER_KVOEXPORT_H

/// Marks the classes and functions the shared library exports; everything
/// else stays hidden.
#define KVO_EXPORT __attribute__((visibility("default")))

#endif  // KVOADAPTER_KVOEXPORT_H
