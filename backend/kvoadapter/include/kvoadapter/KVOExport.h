// Marks the classes and functions the shared library exports; everything
// else stays hidden.
#ifndef KVOADAPTER_KVOEXPORT_H
#define KVOADAPTER_KVOEXPORT_H

#define KVO_EXPORT __attribute__((visibility("default")))

#endif  // KVOADAPTER_KVOEXPORT_H
