// Placeholder until the virtual drive lands.
