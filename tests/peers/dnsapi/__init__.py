"""One module per provider interface the DNS API emulator speaks."""
