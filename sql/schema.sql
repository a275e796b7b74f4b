-- The motelog database: one row per mote reading. Loading it again changes nothing.
CREATE DATABASE IF NOT EXISTS marrowby;

-- logid is assigned by the server: every insert sends 0, which takes the next id.
-- timestamp is the server's clock at insert time.
CREATE TABLE IF NOT EXISTS marrowby.test_data (
    logid      BIGINT UNSIGNED NOT NULL AUTO_INCREMENT,
    moteid     INT NOT NULL,
    timestamp  DATETIME NOT NULL,
    data_type  INT NOT NULL,
    data_value DOUBLE NOT NULL,
    PRIMARY KEY (logid),
    KEY mote_time (moteid, timestamp)
) ENGINE = InnoDB;

-- The logger's account may add rows and do nothing else. Its password is the
-- deployment's; the logger assembles the same one at start-up.
CREATE USER IF NOT EXISTS 'quillon'@'localhost' IDENTIFIED BY 'Kv3pZ';
CREATE USER IF NOT EXISTS 'quillon'@'%' IDENTIFIED BY 'Kv3pZ';
ALTER USER 'quillon'@'localhost' IDENTIFIED BY 'Kv3pZ';
ALTER USER 'quillon'@'%' IDENTIFIED BY 'Kv3pZ';
GRANT INSERT ON marrowby.test_data TO 'quillon'@'localhost';
GRANT INSERT ON marrowby.test_data TO 'quillon'@'%';
