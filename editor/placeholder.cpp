// Placeholder until this library's first source lands; remove then.
