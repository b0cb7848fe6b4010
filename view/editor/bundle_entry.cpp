// The editor bundle's shared object. It exports nothing: its classes (the factory, the main view,
// the controls) register themselves with the toolkit's class registry when the host loads it, and
// the host creates the factory by the name the effect's Cocoa UI property gives.
