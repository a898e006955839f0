// Placeholder translation unit so the policy library always has a source.
