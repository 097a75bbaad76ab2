-- Schema version 9: the clerks who may log in to the web host (`nso serve`).
--
-- A clerk logs in with a name and a password; only the password's hash is kept, in the form
-- libsodium's crypto_pwhash_str writes (Argon2id, its salt and costs within the text). `nso user
-- add` writes a row, or a new hash for a name that has one.
CREATE TABLE KVAD_WEB_USER (
    WEB_USER_NAME     nvarchar(50)  COLLATE NOCASE NOT NULL PRIMARY KEY,
    WEB_USER_HASH     varchar(128)  NOT NULL,
    WEB_USER_CHANGED  datetime      NOT NULL
);
