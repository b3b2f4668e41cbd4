// Keeps the support library non-empty while it has no builders of its own.
