namespace zentu {

// Reported by the service at start-up.
const char* version() { return "0.1.0"; }

}  // namespace zentu
